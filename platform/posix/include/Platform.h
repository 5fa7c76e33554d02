// The Windows platform services that Tellavo calls, provided for Linux by
// Tellavo's own platform library.
#pragma once

#include "ComBase.h"
#include "EventLog.h"
#include "Module.h"
#include "OleAuto.h"
#include "Registry.h"
#include "TypeLib.h"
#include "WinInet.h"
#include "WinTypes.h"
