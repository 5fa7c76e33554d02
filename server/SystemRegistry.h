// The registry layer over the system's registry and OLE Automation. The
// changes made through one layer are one transaction, kept by Commit and
// dropped if the layer goes first (where the system's registry can drop
// them: the Windows registry keeps each change at once).
#pragma once

#include "server/Registration.h"
#include "server/SystemRegistryTransaction.h"

namespace tellavo::server {

// Whose registration a layer changes: the machine's, under
// HKEY_CLASSES_ROOT, which needs administrator rights on Windows; or the
// calling user's, under HKEY_CURRENT_USER\Software\Classes, which needs none
// and which Windows merges into HKEY_CLASSES_ROOT for that user alone.
enum class RegistryScope { Machine, User };

class SystemRegistry final : public RegistryLayer {
public:
  // `oleAut` is the loaded OLE Automation library, in which the
  // unregistration of type libraries (and for a user, their registration)
  // is looked up. Without the unregistration, type libraries stay
  // registered; without a user's registration, a user's pass fails.
  explicit SystemRegistry(HMODULE oleAut, RegistryScope scope = RegistryScope::Machine);

  void WriteEntry(const std::u16string& key, const std::u16string& valueName,
                  const std::u16string& data) override;
  void DeleteKey(const std::u16string& key) override;
  void DeleteKeyInBothViews(const std::u16string& key) override;
  bool KeyExists(const std::u16string& key) override;
  void RegisterTypeLibrary(ITypeLib* library, const std::u16string& path,
                           const std::u16string& helpDirectory) override;
  HRESULT UnregisterTypeLibrary(const TLIBATTR& library) override;
  std::u16string ShortPathName(const std::u16string& path) override;
  void Commit() override;

private:
  // DeleteKey in `view`: 0 for the process's own, or KEY_WOW64_32KEY or
  // KEY_WOW64_64KEY.
  void DeleteKeyOfView(const std::u16string& key, REGSAM view);
  bool HasSubkeys(const std::u16string& key, REGSAM view);
  // The key's path below rootKey_.
  std::u16string Path(const std::u16string& key) const { return rootPath_ + key; }

  using RegisterTypeLibFunction = HRESULT(WINAPI*)(ITypeLib* library, LPOLESTR path,
                                                   LPOLESTR helpDirectory);
  using UnRegisterTypeLibFunction = HRESULT(WINAPI*)(REFGUID libId, WORD majorVersion,
                                                     WORD minorVersion, LCID lcid, SYSKIND syskind);
  RegistryScope scope_;
  HKEY rootKey_;
  std::u16string rootPath_;
  // For the user only: the machine's registration is RegisterTypeLib.
  RegisterTypeLibFunction registerTypeLibForUser_;
  UnRegisterTypeLibFunction unregisterTypeLib_;
  SystemRegistryTransaction transaction_;
};

} // namespace tellavo::server
