// Where the run-time settings are kept differs by platform, one file each:
// SettingsStoreWin32.cpp reads the values under HKLM\SOFTWARE\Tellavo in the
// module's own registry view and those of the process's own account under
// HKCU\Software\Tellavo, SettingsStorePosix.cpp the "Name = value" lines
// of /etc/tellavo/tellavo.conf, or of the file that TELLAVO_CONFIG names. The
// store is read as it is, without knowing which settings exist; the settings
// table judges what it found.
#pragma once

#include <string>
#include <vector>

namespace tellavo::platform {

enum class StoredType {
  Text,      // a text (REG_SZ, or any value of a file)
  Number,    // a 32-bit number (REG_DWORD); its text is the decimal digits
  Other,     // a registry type that holds no setting; its text is the type's name
  Malformed, // a line that is not "Name = value"; its text is the line
};

// Who keeps a value: the machine's administrator, or the account the
// process runs as, for its own processes.
enum class StoredScope { Machine, User };

struct StoredSetting {
  std::u16string name;
  std::u16string text;
  StoredType type = StoredType::Text;
  // Where it was read: the key, or the file and line.
  std::u16string where;
  StoredScope scope = StoredScope::Machine;
};

struct SettingsStore {
  // What the store is ("registry HKLM\SOFTWARE\Tellavo", "file /etc/...").
  std::u16string origin;
  std::vector<StoredSetting> settings;
  // Why the store could not be read; empty when it was, or when there is
  // none (then every setting keeps its built-in value).
  std::u16string failure;
};

// The store as it is now. Cheap enough for every call: an administrator's
// change holds from the next call on.
SettingsStore ReadSettingsStore();

} // namespace tellavo::platform
