// The Windows platform services that the product calls, provided for Linux by
// the platform library that stands in for them.
#pragma once

#include "ComBase.h"
#include "EventLog.h"
#include "Module.h"
#include "OleAuto.h"
#include "Registry.h"
#include "ThreadPool.h"
#include "TypeLib.h"
#include "WinInet.h"
#include "WinTypes.h"
