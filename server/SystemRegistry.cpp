#include "server/SystemRegistry.h"

#include "common/ErrorConversion.h"
#include "common/Exceptions.h"
#include "common/RegistryKey.h"
#include "server/ModulePath.h"
#include "server/ProcAddress.h"
#include "server/WideText.h"

namespace tellavo::server {

namespace {

constexpr char16_t kRegistryWriteFailed[] = u"Error creating system registry entry";

LPOLESTR OleText(const std::u16string& text) {
  return const_cast<LPOLESTR>(reinterpret_cast<LPCOLESTR>(text.c_str()));
}

} // namespace

SystemRegistry::SystemRegistry(HMODULE oleAut)
    : unregisterTypeLib_(ProcAddress<UnRegisterTypeLibFunction>(oleAut, "UnRegisterTypeLib")) {}

void SystemRegistry::WriteEntry(const std::u16string& key, const std::u16string& valueName,
                                const std::u16string& data) {
  WCHAR noClass[] = {0};
  RegistryKey opened;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, Wide(key), 0, noClass, REG_OPTION_NON_VOLATILE,
                      KEY_READ | KEY_WRITE, nullptr, opened.Out(), nullptr) != ERROR_SUCCESS)
    throw EOleRegistrationError(kRegistryWriteFailed, E_FAIL);
  const auto size = static_cast<DWORD>((data.size() + 1) * sizeof(char16_t));
  if (RegSetValueExW(opened.Get(), Wide(valueName), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(data.c_str()), size) != ERROR_SUCCESS)
    throw EOleRegistrationError(kRegistryWriteFailed, E_FAIL);
}

void SystemRegistry::DeleteKey(const std::u16string& key) {
  RegDeleteKeyW(HKEY_CLASSES_ROOT, Wide(key));
}

bool SystemRegistry::KeyExists(const std::u16string& key) {
  RegistryKey opened;
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, Wide(key), 0, KEY_READ, opened.Out()) == ERROR_SUCCESS;
}

void SystemRegistry::RegisterTypeLibrary(ITypeLib* library, const std::u16string& path,
                                         const std::u16string& helpDirectory) {
  OleCheck(RegisterTypeLib(library, OleText(path), OleText(helpDirectory)));
}

void SystemRegistry::UnregisterTypeLibrary(const TLIBATTR& library) {
  if (unregisterTypeLib_ != nullptr)
    unregisterTypeLib_(library.guid, library.wMajorVerNum, library.wMinorVerNum, library.lcid,
                       library.syskind);
}

void SystemRegistry::Commit() {
  if (!transaction_.Commit())
    throw EOleRegistrationError(kRegistryWriteFailed, E_FAIL);
}

std::u16string SystemRegistry::ShortPathName(const std::u16string& path) {
  return server::ShortPathName(path);
}

} // namespace tellavo::server
