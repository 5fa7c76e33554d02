// The registry functions over the hive file. An open key is a handle that
// remembers the key's path and the access it was opened with; the key's
// content is read from the hive at every call, so other processes' changes
// are seen at once.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "Registry.h"
#include "RegistryHive.h"

namespace tellavo::platform {
namespace {

struct OpenKey {
  std::u16string path;
  REGSAM access;
};

constexpr size_t MaxKeyNameLength = 255;

struct Root {
  HKEY key;
  std::u16string_view name;
};

const std::array<Root, 4>& Roots() {
  static const std::array<Root, 4> roots{{{HKEY_CLASSES_ROOT, u"HKEY_CLASSES_ROOT"},
                                          {HKEY_CURRENT_USER, u"HKEY_CURRENT_USER"},
                                          {HKEY_LOCAL_MACHINE, u"HKEY_LOCAL_MACHINE"},
                                          {HKEY_USERS, u"HKEY_USERS"}}};
  return roots;
}

// The handles that RegCreateKeyExW and RegOpenKeyExW gave out and that are
// not closed yet, so that a stale or foreign handle is refused.
class Handles {
public:
  HKEY Add(std::unique_ptr<OpenKey> key) {
    const std::lock_guard lock(mutex_);
    OpenKey* raw = key.release();
    open_.insert(raw);
    return reinterpret_cast<HKEY>(raw);
  }
  bool Get(HKEY key, OpenKey& copy) {
    const std::lock_guard lock(mutex_);
    const auto found = open_.find(reinterpret_cast<OpenKey*>(key));
    if (found == open_.end())
      return false;
    copy = **found;
    return true;
  }
  bool Remove(HKEY key) {
    const std::lock_guard lock(mutex_);
    const auto found = open_.find(reinterpret_cast<OpenKey*>(key));
    if (found == open_.end())
      return false;
    const std::unique_ptr<OpenKey> owned(*found);
    open_.erase(found);
    return true;
  }

private:
  std::mutex mutex_;
  std::unordered_set<OpenKey*> open_;
};

Handles& OpenHandles() {
  static Handles handles;
  return handles;
}

bool ValidSubKey(std::u16string_view subKey) {
  size_t start = 0;
  while (start <= subKey.size()) {
    const size_t end = std::min(subKey.find(u'\\', start), subKey.size());
    const std::u16string_view name = subKey.substr(start, end - start);
    if (name.empty() || name.size() > MaxKeyNameLength ||
        std::any_of(name.begin(), name.end(), [](char16_t c) { return c < 0x20; }))
      return false;
    start = end + 1;
  }
  return true;
}

bool IsRoot(const std::u16string& path) {
  return path.find(u'\\') == std::u16string::npos;
}

// The full path of key\subKey and the access through which it is reached.
LSTATUS Resolve(HKEY key, LPCWSTR subKey, OpenKey& resolved) {
  const auto& roots = Roots();
  const auto root =
      std::find_if(roots.begin(), roots.end(), [key](const Root& r) { return r.key == key; });
  if (root != roots.end())
    resolved = OpenKey{std::u16string(root->name), KEY_ALL_ACCESS};
  else if (!OpenHandles().Get(key, resolved))
    return ERROR_INVALID_HANDLE;
  if (subKey == nullptr || *subKey == 0)
    return ERROR_SUCCESS;
  if (!ValidSubKey(subKey))
    return ERROR_INVALID_PARAMETER;
  resolved.path += u'\\';
  resolved.path += subKey;
  return ERROR_SUCCESS;
}

LSTATUS Require(const OpenKey& key, REGSAM right) {
  return (key.access & right) == right ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

std::u16string_view NameOf(LPCWSTR valueName) {
  return valueName == nullptr ? std::u16string_view() : std::u16string_view(valueName);
}

RegistryValue* FindValue(RegistryKey& key, std::u16string_view name) {
  const std::u16string folded = RegistryHive::Fold(name);
  const auto found =
      std::find_if(key.values.begin(), key.values.end(),
                   [&](const RegistryValue& v) { return RegistryHive::Fold(v.name) == folded; });
  return found == key.values.end() ? nullptr : &*found;
}

// The value's data as the caller receives it; REG_SZ with its terminating zero.
std::vector<BYTE> DataOf(const RegistryValue& value) {
  std::vector<BYTE> data;
  if (value.type == REG_DWORD) {
    data.resize(sizeof(DWORD));
    std::memcpy(data.data(), &value.number, sizeof(DWORD));
  } else {
    data.resize((value.text.size() + 1) * sizeof(char16_t));
    std::memcpy(data.data(), value.text.c_str(), data.size());
  }
  return data;
}

LSTATUS OpenHandle(const OpenKey& key, PHKEY result) {
  auto owned = std::make_unique<OpenKey>(key);
  *result = OpenHandles().Add(std::move(owned));
  return ERROR_SUCCESS;
}

} // namespace
} // namespace tellavo::platform

using namespace tellavo::platform;

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM access,
                        LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
  if (result == nullptr)
    return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  OpenKey parent;
  if (const LSTATUS status = Resolve(key, nullptr, parent); status != ERROR_SUCCESS)
    return status;
  OpenKey target;
  if (const LSTATUS status = Resolve(key, subKey, target); status != ERROR_SUCCESS)
    return status;
  target.access = access;
  bool created = false;
  const LSTATUS status = ChangeHive([&](RegistryHive& hive) {
    if (!hive.Exists(parent.path))
      return ERROR_KEY_DELETED;
    if (hive.Exists(target.path))
      return ERROR_SUCCESS;
    if (const LSTATUS denied = Require(parent, KEY_CREATE_SUB_KEY); denied != ERROR_SUCCESS)
      return denied;
    created = hive.Create(target.path);
    return ERROR_SUCCESS;
  });
  if (status != ERROR_SUCCESS)
    return status;
  if (disposition != nullptr)
    *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return OpenHandle(target, result);
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM access, PHKEY result) {
  if (result == nullptr)
    return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  OpenKey target;
  if (const LSTATUS status = Resolve(key, subKey, target); status != ERROR_SUCCESS)
    return status;
  target.access = access;
  const LSTATUS status = ReadHive([&](RegistryHive& hive) {
    return hive.Exists(target.path) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
  return status == ERROR_SUCCESS ? OpenHandle(target, result) : status;
}

LSTATUS RegCloseKey(HKEY key) {
  const auto& roots = Roots();
  if (std::any_of(roots.begin(), roots.end(), [key](const Root& r) { return r.key == key; }))
    return ERROR_SUCCESS;
  return OpenHandles().Remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data,
                       DWORD size) {
  OpenKey target;
  if (const LSTATUS status = Resolve(key, nullptr, target); status != ERROR_SUCCESS)
    return status;
  if (const LSTATUS status = Require(target, KEY_SET_VALUE); status != ERROR_SUCCESS)
    return status;
  if (data == nullptr && size != 0)
    return ERROR_INVALID_PARAMETER;
  RegistryValue value{std::u16string(NameOf(valueName)), type, {}, 0};
  if (type == REG_SZ) {
    value.text.resize(size / sizeof(char16_t));
    if (size != 0)
      std::memcpy(value.text.data(), data, value.text.size() * sizeof(char16_t));
    // The terminating zero is not part of the text.
    if (!value.text.empty() && value.text.back() == 0)
      value.text.pop_back();
  } else if (type == REG_DWORD && size == sizeof(DWORD)) {
    std::memcpy(&value.number, data, sizeof(DWORD));
  } else {
    return ERROR_INVALID_PARAMETER;
  }
  return ChangeHive([&](RegistryHive& hive) {
    if (!hive.Exists(target.path))
      return ERROR_KEY_DELETED;
    hive.Create(target.path);
    RegistryKey& stored = *hive.Find(target.path);
    if (RegistryValue* existing = FindValue(stored, value.name))
      *existing = std::move(value);
    else
      stored.values.push_back(std::move(value));
    return ERROR_SUCCESS;
  });
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                         LPDWORD size) {
  OpenKey target;
  if (const LSTATUS status = Resolve(key, nullptr, target); status != ERROR_SUCCESS)
    return status;
  if (const LSTATUS status = Require(target, KEY_QUERY_VALUE); status != ERROR_SUCCESS)
    return status;
  if (data != nullptr && size == nullptr)
    return ERROR_INVALID_PARAMETER;
  return ReadHive([&](RegistryHive& hive) {
    if (!hive.Exists(target.path))
      return ERROR_KEY_DELETED;
    RegistryKey* stored = hive.Find(target.path);
    const RegistryValue* value =
        stored == nullptr ? nullptr : FindValue(*stored, NameOf(valueName));
    if (value == nullptr)
      return ERROR_FILE_NOT_FOUND;
    if (type != nullptr)
      *type = value->type;
    const std::vector<BYTE> bytes = DataOf(*value);
    const DWORD available = size == nullptr ? 0 : *size;
    if (size != nullptr)
      *size = static_cast<DWORD>(bytes.size());
    if (data == nullptr)
      return ERROR_SUCCESS;
    if (available < bytes.size())
      return ERROR_MORE_DATA;
    std::memcpy(data, bytes.data(), bytes.size());
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) {
  OpenKey target;
  if (const LSTATUS status = Resolve(key, nullptr, target); status != ERROR_SUCCESS)
    return status;
  if (const LSTATUS status = Require(target, KEY_SET_VALUE); status != ERROR_SUCCESS)
    return status;
  return ChangeHive([&](RegistryHive& hive) {
    RegistryKey* stored = hive.Find(target.path);
    RegistryValue* value = stored == nullptr ? nullptr : FindValue(*stored, NameOf(valueName));
    if (value == nullptr)
      return ERROR_FILE_NOT_FOUND;
    stored->values.erase(stored->values.begin() + (value - stored->values.data()));
    return ERROR_SUCCESS;
  });
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD,
                      LPWSTR keyClass, LPDWORD classSize, PFILETIME lastWriteTime) {
  if (name == nullptr || nameSize == nullptr)
    return ERROR_INVALID_PARAMETER;
  OpenKey target;
  if (const LSTATUS status = Resolve(key, nullptr, target); status != ERROR_SUCCESS)
    return status;
  if (const LSTATUS status = Require(target, KEY_ENUMERATE_SUB_KEYS); status != ERROR_SUCCESS)
    return status;
  return ReadHive([&](RegistryHive& hive) {
    const std::vector<std::u16string> names = hive.Subkeys(target.path);
    if (index >= names.size())
      return ERROR_NO_MORE_ITEMS;
    const std::u16string& found = names[index];
    if (*nameSize <= found.size())
      return ERROR_MORE_DATA;
    std::memcpy(name, found.c_str(), (found.size() + 1) * sizeof(char16_t));
    *nameSize = static_cast<DWORD>(found.size());
    if (keyClass != nullptr && classSize != nullptr && *classSize > 0)
      *keyClass = 0;
    if (classSize != nullptr)
      *classSize = 0;
    if (lastWriteTime != nullptr)
      *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  if (subKey == nullptr)
    return ERROR_INVALID_PARAMETER;
  OpenKey target;
  if (const LSTATUS status = Resolve(key, subKey, target); status != ERROR_SUCCESS)
    return status;
  if (IsRoot(target.path))
    return ERROR_ACCESS_DENIED;
  return ChangeHive([&](RegistryHive& hive) {
    if (hive.Find(target.path) == nullptr)
      return ERROR_FILE_NOT_FOUND;
    if (hive.HasSubkeys(target.path))
      return ERROR_ACCESS_DENIED;
    hive.Erase(target.path);
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteKeyExW(HKEY key, LPCWSTR subKey, REGSAM, DWORD) {
  return RegDeleteKeyW(key, subKey);
}

LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey) {
  OpenKey target;
  if (const LSTATUS status = Resolve(key, subKey, target); status != ERROR_SUCCESS)
    return status;
  // Without a subkey the key itself stays, emptied; a root always stays.
  const bool self = subKey != nullptr && *subKey != 0 && !IsRoot(target.path);
  return ChangeHive([&](RegistryHive& hive) {
    if (!hive.Exists(target.path))
      return ERROR_FILE_NOT_FOUND;
    hive.EraseTree(target.path, self);
    return ERROR_SUCCESS;
  });
}
