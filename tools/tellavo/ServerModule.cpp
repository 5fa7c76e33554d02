#include "tools/tellavo/ServerModule.h"

#include <cstdio>

#include "common/Exceptions.h"
#include "common/FileNameText.h"
#include "common/Format.h"
#include "common/Utf.h"
#include "common/WideText.h"
#include "tools/tellavo/ComCheck.h"

namespace tellavo::cli {

template <class Entry> Entry ServerModule::Find(const char* name) const {
  const FARPROC address = GetProcAddress(module_.Get(), name);
  if (address == nullptr)
    throw Exception(
        Format(u"the module %s does not export %s", {Utf8ToUtf16(path_), Utf8ToUtf16(name)}));
  // Through the generic function pointer type, which converts to any other.
  return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(address));
}

ServerModule::ServerModule(const std::string& path)
    : path_(path), module_(LoadLibraryW(Wide(FileNameToUtf16(path)))) {
  if (!module_.Valid())
    throw Exception(Format(u"cannot load the module %s (error %d)",
                           {Utf8ToUtf16(path), static_cast<unsigned long>(GetLastError())}));
  getClassObject_ = Find<GetClassObjectEntry>("DllGetClassObject");
  canUnloadNow_ = Find<PlainEntry>("DllCanUnloadNow");
  registerServer_ = Find<PlainEntry>("DllRegisterServer");
  unregisterServer_ = Find<PlainEntry>("DllUnregisterServer");
}

ServerModule::~ServerModule() {
  if (canUnloadNow_() == S_OK)
    return;
  std::fprintf(stderr, "tellavo: the module still has objects in use and stays loaded\n");
  module_.Release();
}

ComPtr<IDispatch> ServerModule::CreateDispatch(REFCLSID classId) const {
  ComPtr<IClassFactory> factory;
  CheckStep(getClassObject_(classId, IID_IClassFactory, reinterpret_cast<void**>(factory.Out())),
            u"DllGetClassObject");
  ComPtr<IDispatch> object;
  CheckStep(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(object.Out())),
            u"IClassFactory::CreateInstance");
  return object;
}

HRESULT ServerModule::UpdateRegistry(bool reg) const {
  return reg ? registerServer_() : unregisterServer_();
}

HRESULT ServerModule::Install(bool install, const std::u16string& commandLine) const {
  // Looked up when needed: a module without it still serves every other
  // command.
  using InstallEntry = HRESULT(WINAPI*)(BOOL, LPCWSTR);
  return Find<InstallEntry>("DllInstall")(install ? TRUE : FALSE, Wide(commandLine));
}

} // namespace tellavo::cli
