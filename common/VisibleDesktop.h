// Whether a dialog can reach a user. A Windows service, an IIS application
// pool or a scheduled task runs on a window station that is not visible: a
// dialog there is never seen nor answered, and the thread that shows it waits
// for ever.
#pragma once

namespace tellavo {

// True when the process's window station is visible; false when it is not,
// or when that cannot be found out (a dialog is then not worth the risk).
bool DesktopIsVisible();

} // namespace tellavo
