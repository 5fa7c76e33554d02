// The loader's notices to the module. Detaching with a non-null reserved
// argument means the process is ending rather than the module alone being
// unloaded: the libraries the module uses may already be gone, so its
// unload must not call into them. This runs before the runtime destroys the
// module's objects, whose unload reads the note.
#include "Platform.h"
#include "server/Module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr)
    tellavo::server::NoteProcessEnding();
  return TRUE;
}
