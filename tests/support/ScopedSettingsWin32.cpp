#include <stdexcept>
#include <string>
#include <vector>

#include "Platform.h"
#include "common/RegistryKey.h"
#include "common/Utf.h"
#include "support/ScopedSettings.h"

namespace tellavo::test {
namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\Tellavo";

std::wstring Wide(const std::string& text) {
  const std::u16string utf16 = Utf8ToUtf16(text);
  return std::wstring(utf16.begin(), utf16.end());
}

struct Value {
  std::wstring name;
  DWORD type;
  std::vector<BYTE> data;
};

RegistryKey OpenKey() {
  RegistryKey key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Out(),
                      nullptr) != ERROR_SUCCESS)
    throw std::runtime_error("cannot open HKLM\\SOFTWARE\\Tellavo");
  return key;
}

void SetValue(const std::string& name, DWORD type, const void* data, DWORD size) {
  const LSTATUS status = RegSetValueExW(OpenKey().Get(), Wide(name).c_str(), 0, type,
                                        static_cast<const BYTE*>(data), size);
  if (status != ERROR_SUCCESS)
    throw std::runtime_error("cannot set the value " + name);
}

} // namespace

// The values found when the scope began, written back at its end.
struct ScopedSettings::State {
  bool keyExisted = false;
  std::vector<Value> saved;
};

ScopedSettings::ScopedSettings() : state_(std::make_unique<State>()) {
  RegistryKey key;
  state_->keyExisted =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, key.Out()) == ERROR_SUCCESS;
  if (state_->keyExisted) {
    for (DWORD index = 0;; ++index) {
      wchar_t name[256];
      DWORD nameLength = 256;
      BYTE data[4096];
      DWORD size = sizeof data;
      DWORD type = 0;
      if (RegEnumValueW(key.Get(), index, name, &nameLength, nullptr, &type, data, &size) !=
          ERROR_SUCCESS)
        break;
      state_->saved.push_back({std::wstring(name, nameLength), type, {data, data + size}});
    }
  }
  // Not held open while the key is deleted.
  key.reset();
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
}

ScopedSettings::~ScopedSettings() {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
  if (!state_->keyExisted)
    return;
  const RegistryKey key = OpenKey();
  for (const Value& value : state_->saved)
    RegSetValueExW(key.Get(), value.name.c_str(), 0, value.type, value.data.data(),
                   static_cast<DWORD>(value.data.size()));
}

void ScopedSettings::SetText(const std::string& name, const std::string& text) {
  const std::wstring wide = Wide(text);
  SetValue(name, REG_SZ, wide.c_str(), static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

void ScopedSettings::SetNumber(const std::string& name, uint32_t value) {
  const DWORD number = value;
  SetValue(name, REG_DWORD, &number, sizeof number);
}

void ScopedSettings::SetMalformed(const std::string& name) {
  const BYTE bytes[] = {1, 0, 0, 0};
  SetValue(name, REG_BINARY, bytes, sizeof bytes);
}

void ScopedSettings::Remove(const std::string& name) {
  RegistryKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, key.Out()) != ERROR_SUCCESS)
    return;
  RegDeleteValueW(key.Get(), Wide(name).c_str());
}

std::string ScopedSettings::Origin() const {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  return wow64 ? "registry HKLM\\SOFTWARE\\WOW6432Node\\Tellavo"
               : "registry HKLM\\SOFTWARE\\Tellavo";
}

} // namespace tellavo::test
