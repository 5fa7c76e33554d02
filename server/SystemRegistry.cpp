#include "server/SystemRegistry.h"

#include <iterator>

#include "common/ErrorConversion.h"
#include "common/Exceptions.h"
#include "common/RegistryKey.h"
#include "common/WideText.h"
#include "server/ModulePath.h"
#include "server/ProcAddress.h"

namespace tellavo::server {

namespace {

constexpr char16_t kRegistryWriteFailed[] = u"Error creating system registry entry";
constexpr char16_t kRegistryDeleteFailed[] = u"Error removing system registry entry";
// A user's classes, which the system shows in HKEY_CLASSES_ROOT to that user.
constexpr char16_t kUserClassesPath[] = u"Software\\Classes\\";

void CheckWrite(LSTATUS status) {
  if (status != ERROR_SUCCESS)
    throw EOleRegistrationError(kRegistryWriteFailed, HRESULT_FROM_WIN32(status));
}

} // namespace

SystemRegistry::SystemRegistry(HMODULE oleAut, RegistryScope scope)
    : scope_(scope), rootKey_(scope == RegistryScope::User ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT),
      rootPath_(scope == RegistryScope::User ? kUserClassesPath : u""),
      registerTypeLibForUser_(scope == RegistryScope::User ? ProcAddress<RegisterTypeLibFunction>(
                                                                 oleAut, "RegisterTypeLibForUser")
                                                           : nullptr),
      unregisterTypeLib_(ProcAddress<UnRegisterTypeLibFunction>(
          oleAut,
          scope == RegistryScope::User ? "UnRegisterTypeLibForUser" : "UnRegisterTypeLib")) {}

void SystemRegistry::WriteEntry(const std::u16string& key, const std::u16string& valueName,
                                const std::u16string& data) {
  WCHAR noClass[] = {0};
  RegistryKey opened;
  CheckWrite(RegCreateKeyExW(rootKey_, Wide(Path(key)), 0, noClass, REG_OPTION_NON_VOLATILE,
                             KEY_READ | KEY_WRITE, nullptr, opened.Out(), nullptr));
  const auto size = static_cast<DWORD>((data.size() + 1) * sizeof(char16_t));
  CheckWrite(RegSetValueExW(opened.Get(), Wide(valueName), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(data.c_str()), size));
}

void SystemRegistry::DeleteKey(const std::u16string& key) {
  DeleteKeyOfView(key, 0);
}

void SystemRegistry::DeleteKeyInBothViews(const std::u16string& key) {
  DeleteKeyOfView(key, 0);
  DeleteKeyOfView(key, sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
}

void SystemRegistry::DeleteKeyOfView(const std::u16string& key, REGSAM view) {
  const LSTATUS status = RegDeleteKeyExW(rootKey_, Wide(Path(key)), view, 0);
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND)
    return;
  // The registry refuses a key that still has subkeys with the same code as
  // a key the caller may not delete; such a key holds entries of others and
  // stays.
  if (status == ERROR_ACCESS_DENIED && HasSubkeys(key, view))
    return;
  throw EOleRegistrationError(kRegistryDeleteFailed, HRESULT_FROM_WIN32(status));
}

bool SystemRegistry::HasSubkeys(const std::u16string& key, REGSAM view) {
  RegistryKey opened;
  if (RegOpenKeyExW(rootKey_, Wide(Path(key)), 0, KEY_ENUMERATE_SUB_KEYS | view, opened.Out()) !=
      ERROR_SUCCESS)
    return false;
  WCHAR name[256];
  DWORD size = static_cast<DWORD>(std::size(name));
  const LSTATUS status =
      RegEnumKeyExW(opened.Get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr);
  return status == ERROR_SUCCESS || status == ERROR_MORE_DATA;
}

bool SystemRegistry::KeyExists(const std::u16string& key) {
  RegistryKey opened;
  return RegOpenKeyExW(rootKey_, Wide(Path(key)), 0, KEY_READ, opened.Out()) == ERROR_SUCCESS;
}

void SystemRegistry::RegisterTypeLibrary(ITypeLib* library, const std::u16string& path,
                                         const std::u16string& helpDirectory) {
  if (scope_ == RegistryScope::Machine) {
    OleCheck(RegisterTypeLib(library, OleText(path), OleText(helpDirectory)));
    return;
  }
  // Without the user's own registration of type libraries the pass cannot
  // be completed for the user; registering machine-wide instead would need
  // the rights the user lacks, or reach every user of the machine.
  if (registerTypeLibForUser_ == nullptr)
    throw EOleSysError(u"Type libraries cannot be registered for a user here", E_NOTIMPL);
  OleCheck(registerTypeLibForUser_(library, OleText(path), OleText(helpDirectory)));
}

HRESULT SystemRegistry::UnregisterTypeLibrary(const TLIBATTR& library) {
  if (unregisterTypeLib_ == nullptr)
    return S_FALSE;
  return unregisterTypeLib_(library.guid, library.wMajorVerNum, library.wMinorVerNum, library.lcid,
                            library.syskind);
}

void SystemRegistry::Commit() {
  CheckWrite(transaction_.Commit());
}

std::u16string SystemRegistry::ShortPathName(const std::u16string& path) {
  return server::ShortPathName(path);
}

} // namespace tellavo::server
