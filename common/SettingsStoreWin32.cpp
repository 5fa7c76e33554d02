// The settings store on Windows: the values under HKLM\SOFTWARE\Tellavo, in the
// module's own registry view (a 32-bit module on 64-bit Windows reads
// HKLM\SOFTWARE\WOW6432Node\Tellavo), and those under HKCU\Software\Tellavo of
// the account the process runs as: an installation for one user sets its
// own there, and the settings table decides what they may change. The
// account's key is found by the process's own user, never by a client that
// a thread impersonates, whose settings are not the host's. Opening the keys
// and listing their few values costs a few microseconds, so it is done at
// every call and a changed value holds from the next call on.
#include <cstring>
#include <string>
#include <vector>

#include "Platform.h"

#include <sddl.h>

#include "common/Exceptions.h"
#include "common/HandlesWin32.h"
#include "common/RegistryKey.h"
#include "common/SettingsStore.h"
#include "common/TokenWin32.h"
#include "common/WideText.h"

namespace tellavo::platform {
namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\Tellavo";
constexpr wchar_t kUserKey[] = L"\\Software\\Tellavo";
// The user's key is one for both registry views.
constexpr char16_t kUserKeyPath[] = u"HKCU\\Software\\Tellavo";

// The machine's key as regedit shows it from a 64-bit view.
std::u16string KeyPath() {
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  return wow64 ? u"HKLM\\SOFTWARE\\WOW6432Node\\Tellavo" : u"HKLM\\SOFTWARE\\Tellavo";
}

std::u16string Decimal(DWORD value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

std::u16string TypeName(DWORD type) {
  switch (type) {
  case REG_NONE:
    return u"REG_NONE";
  case REG_EXPAND_SZ:
    return u"REG_EXPAND_SZ";
  case REG_BINARY:
    return u"REG_BINARY";
  case REG_MULTI_SZ:
    return u"REG_MULTI_SZ";
  case REG_QWORD:
    return u"REG_QWORD";
  default:
    return u"type " + Decimal(type);
  }
}

std::u16string ErrorText(LSTATUS status) {
  const std::u16string text = SystemMessageText(static_cast<HRESULT>(status));
  return text.empty() ? u"error " + Decimal(static_cast<DWORD>(status)) : text;
}

// The value as the store reports it: REG_SZ as its text (without the
// terminating zeros), REG_DWORD as its decimal digits, other types by name.
StoredSetting ToStored(std::u16string name, DWORD type, const std::vector<BYTE>& data, DWORD size,
                       const std::u16string& origin) {
  StoredSetting setting{std::move(name), {}, StoredType::Text, origin};
  if (type == REG_SZ) {
    std::u16string text =
        FromWide(reinterpret_cast<const WCHAR*>(data.data()), size / sizeof(WCHAR));
    while (!text.empty() && text.back() == 0)
      text.pop_back();
    setting.text = std::move(text);
  } else if (type == REG_DWORD && size == sizeof(DWORD)) {
    DWORD value = 0;
    std::memcpy(&value, data.data(), sizeof value);
    setting.type = StoredType::Number;
    setting.text = Decimal(value);
  } else {
    setting.type = StoredType::Other;
    setting.text = TypeName(type);
  }
  return setting;
}

// Appends the values of one key to `found`, each with `origin`; false, with
// the reason in store.failure, when the key is there but cannot be read.
bool ReadKey(HKEY root, const wchar_t* subKey, const std::u16string& keyPath,
             const std::u16string& origin, std::vector<StoredSetting>& found,
             SettingsStore& store) {
  RegistryKey key;
  const LSTATUS status = RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE, key.Out());
  if (status == ERROR_FILE_NOT_FOUND)
    return true;
  if (status != ERROR_SUCCESS) {
    store.failure = u"The settings key " + keyPath + u" cannot be read: " + ErrorText(status);
    return false;
  }
  DWORD maxName = 0;
  DWORD maxData = 0;
  RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   &maxName, &maxData, nullptr, nullptr);
  std::vector<wchar_t> name(maxName + 1);
  std::vector<BYTE> data(maxData + sizeof(wchar_t));
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    const LSTATUS listed = RegEnumValueW(key.Get(), index, name.data(), &nameLength, nullptr, &type,
                                         data.data(), &size);
    if (listed == ERROR_NO_MORE_ITEMS)
      return true;
    if (listed != ERROR_SUCCESS) {
      store.failure = u"The settings key " + keyPath + u" cannot be read: " + ErrorText(listed);
      return false;
    }
    found.push_back(ToStored(FromWide(name.data(), nameLength), type, data, size, origin));
  }
}

// The key of the process's own account under HKEY_USERS (its SID, then
// "\Software\Tellavo"). HKEY_CURRENT_USER is not used: the system maps it for
// the whole process by whichever thread opens it first, which may be one
// that impersonates a client. Empty when the account cannot be told.
const std::wstring& ProcessUserKey() {
  static const std::wstring key = [] {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
      return std::wstring();
    const KernelHandle held(token);
    const std::unique_ptr<BYTE[]> user = TokenInformation(token, TokenUser);
    LocalMemory<LPWSTR> sid;
    if (!user ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.get())->User.Sid, sid.Out()))
      return std::wstring();
    return std::wstring(sid.Get()) + kUserKey;
  }();
  return key;
}

} // namespace

SettingsStore ReadSettingsStore() {
  SettingsStore store;
  const std::u16string keyPath = KeyPath();
  store.origin = u"registry " + keyPath;
  if (!ReadKey(HKEY_LOCAL_MACHINE, kKey, keyPath, store.origin, store.settings, store))
    return store;
  const std::wstring& userKey = ProcessUserKey();
  if (userKey.empty()) {
    store.failure = u"The settings key " + std::u16string(kUserKeyPath) +
                    u" cannot be read: the process's account cannot be told";
    return store;
  }
  std::vector<StoredSetting> user;
  if (!ReadKey(HKEY_USERS, userKey.c_str(), kUserKeyPath,
               u"registry " + std::u16string(kUserKeyPath), user, store))
    return store;
  for (StoredSetting& setting : user) {
    setting.scope = StoredScope::User;
    store.settings.push_back(std::move(setting));
  }
  return store;
}

} // namespace tellavo::platform
