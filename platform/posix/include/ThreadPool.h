// Timers of the process's thread pool, as the Windows kernel provides them:
// a timer runs its callback once its due time has passed, and again every
// period if it has one. Callbacks run one after another on one process-wide
// timer thread, started on first use and joined when this library unloads,
// so a callback should be brief.
#pragma once

#include "WinTypes.h"

#define CALLBACK

using PVOID = void*;

struct TP_TIMER;
using PTP_TIMER = TP_TIMER*;
struct TP_CALLBACK_INSTANCE;
using PTP_CALLBACK_INSTANCE = TP_CALLBACK_INSTANCE*;
// Callback environments are not supported: the environment must be nullptr.
struct TP_CALLBACK_ENVIRON;
using PTP_CALLBACK_ENVIRON = TP_CALLBACK_ENVIRON*;
using PTP_TIMER_CALLBACK = void(CALLBACK*)(PTP_CALLBACK_INSTANCE instance, PVOID context,
                                           PTP_TIMER timer);

// Answers a new timer that is not set, or nullptr with the last error set.
PTP_TIMER CreateThreadpoolTimer(PTP_TIMER_CALLBACK callback, PVOID context,
                                PTP_CALLBACK_ENVIRON environment);
// Sets the timer to fire at `dueTime`: negative is relative to now, in 100 ns
// units; otherwise an absolute UTC time in 100 ns units since 1601. A
// non-zero `period` repeats it every so many milliseconds. A null `dueTime`
// stops the timer; a callback already running or queued still runs. The
// window length is a hint for coalescing and is ignored.
void SetThreadpoolTimer(PTP_TIMER timer, PFILETIME dueTime, DWORD period, DWORD windowLength);
// Waits for the timer's running callback to return, first dropping one that
// is due but has not started if `cancelPending`. Called from the timer's own
// callback it would wait for ever.
void WaitForThreadpoolTimerCallbacks(PTP_TIMER timer, BOOL cancelPending);
// Releases the timer: at once, or once its running callback returns. A
// callback may close its own timer.
void CloseThreadpoolTimer(PTP_TIMER timer);
