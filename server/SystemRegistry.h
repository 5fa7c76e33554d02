// The registry layer over the system's registry and OLE Automation.
#pragma once

#include "server/Registration.h"

namespace tellavo::server {

class SystemRegistry final : public RegistryLayer {
public:
  // `oleAut` is the loaded OLE Automation library, in which the
  // unregistration of type libraries is looked up; without it (or without
  // the function) type libraries stay registered.
  explicit SystemRegistry(HMODULE oleAut);

  void WriteEntry(const std::u16string& key, const std::u16string& valueName,
                  const std::u16string& data) override;
  void DeleteKey(const std::u16string& key) override;
  void RegisterTypeLibrary(ITypeLib* library, const std::u16string& path,
                           const std::u16string& helpDirectory) override;
  void UnregisterTypeLibrary(const TLIBATTR& library) override;
  std::u16string ShortPathName(const std::u16string& path) override;

private:
  using UnRegisterTypeLibFunction = HRESULT(WINAPI*)(REFGUID libId, WORD majorVersion,
                                                     WORD minorVersion, LCID lcid, SYSKIND syskind);
  UnRegisterTypeLibFunction unregisterTypeLib_;
};

} // namespace tellavo::server
