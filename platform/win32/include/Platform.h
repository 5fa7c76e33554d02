// The Windows platform services that the product calls, from the system headers.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <ole2.h>
#include <oleauto.h>
#include <wininet.h>
