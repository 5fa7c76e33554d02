// The Windows platform services that Tellavo calls, provided for Linux by
// Tellavo's own platform library.
#pragma once

#include "EventLog.h"
#include "OleAuto.h"
#include "WinTypes.h"
