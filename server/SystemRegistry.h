// The registry layer over the system's registry and OLE Automation. The
// changes made through one layer are one transaction, kept by Commit and
// dropped if the layer goes first (where the system's registry can drop
// them: the Windows registry keeps each change at once).
#pragma once

#include "server/Registration.h"
#include "server/SystemRegistryTransaction.h"

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
  bool KeyExists(const std::u16string& key) override;
  void RegisterTypeLibrary(ITypeLib* library, const std::u16string& path,
                           const std::u16string& helpDirectory) override;
  HRESULT UnregisterTypeLibrary(const TLIBATTR& library) override;
  std::u16string ShortPathName(const std::u16string& path) override;
  void Commit() override;

private:
  bool HasSubkeys(const std::u16string& key);

  using UnRegisterTypeLibFunction = HRESULT(WINAPI*)(REFGUID libId, WORD majorVersion,
                                                     WORD minorVersion, LCID lcid, SYSKIND syskind);
  UnRegisterTypeLibFunction unregisterTypeLib_;
  SystemRegistryTransaction transaction_;
};

} // namespace tellavo::server
