// The in-process server as its client sees it: a module loaded by path whose
// exported entry points hand out class factories and write or remove the
// registration.
#pragma once

#include <string>

#include "Platform.h"
#include "common/ComPtr.h"
#include "common/LoadedLibrary.h"

namespace tellavo::cli {

class ServerModule {
public:
  // Loads the module and finds its four entry points; throws Exception when
  // either fails.
  explicit ServerModule(const std::string& path);
  // Unloads the module when DllCanUnloadNow allows it; a module that still
  // counts objects or factories stays loaded, since its code may yet run.
  ~ServerModule();
  ServerModule(const ServerModule&) = delete;
  ServerModule& operator=(const ServerModule&) = delete;

  const std::string& Path() const { return path_; }

  // A new object of the class from the class factory, asked for IDispatch;
  // throws EOleSysError when the module refuses.
  ComPtr<IDispatch> CreateDispatch(REFCLSID classId) const;

  // DllRegisterServer (true) or DllUnregisterServer (false); their HRESULT.
  HRESULT UpdateRegistry(bool reg) const;
  // DllInstall with that command line; its HRESULT. Throws Exception when
  // the module does not export it.
  HRESULT Install(bool install, const std::u16string& commandLine) const;

private:
  using GetClassObjectEntry = HRESULT(WINAPI*)(REFCLSID, REFIID, LPVOID*);
  using PlainEntry = HRESULT(WINAPI*)();

  template <class Entry> Entry Find(const char* name) const;

  std::string path_;
  LoadedLibrary module_;
  GetClassObjectEntry getClassObject_;
  PlainEntry canUnloadNow_;
  PlainEntry registerServer_;
  PlainEntry unregisterServer_;
};

} // namespace tellavo::cli
