// The module's exported entry points, called by the platform's COM runtime
// and by registration tools.
#include "Platform.h"
#include "server/Module.h"

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* object) {
  return tellavo::server::ModuleGetClassObject(classId, iid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
  return tellavo::server::ModuleCanUnloadNow();
}

extern "C" HRESULT WINAPI DllRegisterServer() {
  return tellavo::server::ModuleUpdateRegistry(true);
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  return tellavo::server::ModuleUpdateRegistry(false);
}

extern "C" HRESULT WINAPI DllInstall(BOOL install, LPCWSTR commandLine) {
  return tellavo::server::ModuleInstall(install != FALSE, commandLine);
}
