// The registry for the posix build: the Windows registry functions over a
// hive file shared by all processes of the user.
//
// The hive's place belongs to the product that the library is built for, which
// names an environment variable and a folder (REGISTRY_HIVE_VARIABLE and
// REGISTRY_HIVE_FOLDER when the library is built): the hive is the file that
// variable names if it is set and not empty, else
// $XDG_DATA_HOME/FOLDER/registry.hive, else
// $HOME/.local/share/FOLDER/registry.hive. It is a text file in the layout of
// a registry export (a [ROOT\key] line, then "name"="text" or
// "name"=dword:xxxxxxxx lines, @ for the default value). Every call reads the
// file under a lock (registry.hive.lock beside it) and every change rewrites
// it through a temporary file and a rename, so concurrent processes see whole
// hives only. A hive that cannot be written gives ERROR_ACCESS_DENIED; one that
// cannot be read back gives ERROR_BADDB and is left untouched. A
// RegistryTransaction makes a series of calls one change of the hive.
#pragma once

#include <memory>

#include "WinTypes.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using LSTATUS = LONG;
using REGSAM = DWORD;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(uintptr_t{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(uintptr_t{0x80000002});
inline HKEY const HKEY_USERS = reinterpret_cast<HKEY>(uintptr_t{0x80000003});

constexpr LSTATUS ERROR_SUCCESS = 0;
constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;
constexpr LSTATUS ERROR_PATH_NOT_FOUND = 3;
constexpr LSTATUS ERROR_ACCESS_DENIED = 5;
constexpr LSTATUS ERROR_INVALID_HANDLE = 6;
constexpr LSTATUS ERROR_OUTOFMEMORY = 14;
constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;
constexpr LSTATUS ERROR_MORE_DATA = 234;
constexpr LSTATUS ERROR_NO_MORE_ITEMS = 259;
constexpr LSTATUS ERROR_BADDB = 1009;
constexpr LSTATUS ERROR_KEY_DELETED = 1018;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
// The two registry views of 64-bit Windows. The hive has one, which both
// name, as a system of one bitness has.
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;

// Opens the subkey, creating it and every missing key above it.
LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                        REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                        LPDWORD disposition);
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LSTATUS RegCloseKey(HKEY key);
// Types REG_SZ (size in bytes, the terminating zero included or not) and
// REG_DWORD; other types give ERROR_INVALID_PARAMETER.
LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size);
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD size);
LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName);
// The name of the subkey at index (in name order); ERROR_NO_MORE_ITEMS past
// the last one. The hive keeps no class texts or write times: both come back
// empty.
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD reserved,
                      LPWSTR keyClass, LPDWORD classSize, PFILETIME lastWriteTime);
// Deletes a key that has no subkeys: ERROR_ACCESS_DENIED if it has some,
// ERROR_FILE_NOT_FOUND if it does not exist.
LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey);
// RegDeleteKeyW in one registry view: the hive's only one.
LSTATUS RegDeleteKeyExW(HKEY key, LPCWSTR subKey, REGSAM view, DWORD reserved);
// Deletes a key with all its subkeys and values.
LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey);

namespace tellavo::platform {
struct HiveTransaction;
}

// Makes the calling thread's registry calls, while the object lives, one
// transaction on the hive: the first call locks and reads the hive, later
// calls work on that copy (and see their own changes), and Commit writes it
// back in one replacement when anything changed. Other processes and threads
// wait for the lock meanwhile, so that they find the hive as it was before or
// after, never in between. Changes not committed when the object goes are
// dropped. One begun while another is open on the thread is part of that one
// and leaves committing to it.
class RegistryTransaction {
public:
  RegistryTransaction();
  ~RegistryTransaction();
  RegistryTransaction(const RegistryTransaction&) = delete;
  RegistryTransaction& operator=(const RegistryTransaction&) = delete;

  // Ends the transaction: ERROR_SUCCESS, or the reason the changes could not
  // be written (the hive then stays as it was).
  LSTATUS Commit();

private:
  std::unique_ptr<tellavo::platform::HiveTransaction> state_;
};
