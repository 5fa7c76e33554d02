// The module's life. Start-up runs once, on the first call into an entry
// point, whichever thread makes it: OLE Automation is loaded and held, the
// server object is made, the long-path function is looked up, and the
// module's units make their factories. Unload runs the other way round when
// the module goes, unless the process is ending: then the module releases
// nothing that belongs to another library (the type library, the factories'
// type information, OLE Automation itself), since the loader may already
// have unloaded it, and leaves it all to the end of the process. Where no
// loader says so (posix, and programs that link the server in), the
// process's end is an ordinary unload.
#pragma once

#include "Platform.h"

namespace tellavo::server {

class TComServer;

// The module's server object, from start-up until unload.
TComServer& ComServer();

// Told by the module's loader notice that the process is ending, before the
// module's own objects are destroyed.
void NoteProcessEnding();

// The four entry points, each starting the module first. Until start-up has
// completed the module has no classes: class objects are not available and
// registration fails.
HRESULT ModuleGetClassObject(REFCLSID classId, REFIID iid, void** object);
HRESULT ModuleCanUnloadNow();
HRESULT ModuleUpdateRegistry(bool registering);
// DllInstall: the command line "user" (in any letter case) writes (true) or
// removes (false) the registration for the calling user alone, the same
// entries under HKEY_CURRENT_USER\Software\Classes; any other command line
// is E_INVALIDARG.
HRESULT ModuleInstall(bool installing, LPCWSTR commandLine);

} // namespace tellavo::server
