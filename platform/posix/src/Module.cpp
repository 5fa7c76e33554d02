// Modules, dynamic libraries and paths over the dynamic loader, and the
// kernel and user services that go with them.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <link.h>
#include <string>
#include <string_view>
#include <unistd.h>

#include "Platform.h"
#include "common/FileNameText.h"
#include "common/Utf.h"

namespace {

// A Windows system library that this platform library stands in for.
struct SystemLibrary {
  std::string_view name; // upper case, without ".DLL"
};

constexpr std::array<SystemLibrary, 5> systemLibraries{
    {{"KERNEL32"}, {"OLEAUT32"}, {"OLE32"}, {"ADVAPI32"}, {"USER32"}}};

struct Export {
  std::string_view library;
  std::string_view name;
  FARPROC address;
};

// Through void (*)(), the one function type that converts to any other.
template <class F> FARPROC Address(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

const std::array<Export, 34>& Exports() {
  static const std::array<Export, 34> exports{{
      {"KERNEL32", "GetModuleFileNameW", Address(GetModuleFileNameW)},
      {"KERNEL32", "GetModuleHandleExW", Address(GetModuleHandleExW)},
      {"KERNEL32", "GetModuleHandleW", Address(GetModuleHandleW)},
      {"KERNEL32", "GetLongPathNameW", Address(GetLongPathNameW)},
      {"KERNEL32", "GetShortPathNameW", Address(GetShortPathNameW)},
      {"KERNEL32", "LoadLibraryW", Address(LoadLibraryW)},
      {"KERNEL32", "FreeLibrary", Address(FreeLibrary)},
      {"KERNEL32", "GetProcAddress", Address(GetProcAddress)},
      {"KERNEL32", "SetErrorMode", Address(SetErrorMode)},
      {"KERNEL32", "FormatMessageW", Address(FormatMessageW)},
      {"OLEAUT32", "LoadTypeLib", Address(LoadTypeLib)},
      {"OLEAUT32", "LoadTypeLibEx", Address(LoadTypeLibEx)},
      {"OLEAUT32", "RegisterTypeLib", Address(RegisterTypeLib)},
      {"OLEAUT32", "UnRegisterTypeLib", Address(UnRegisterTypeLib)},
      {"OLEAUT32", "RegisterTypeLibForUser", Address(RegisterTypeLibForUser)},
      {"OLEAUT32", "UnRegisterTypeLibForUser", Address(UnRegisterTypeLibForUser)},
      {"OLEAUT32", "DispGetIDsOfNames", Address(DispGetIDsOfNames)},
      {"OLEAUT32", "DispInvoke", Address(DispInvoke)},
      {"OLEAUT32", "VariantChangeType", Address(VariantChangeType)},
      {"OLE32", "CoTaskMemAlloc", Address(CoTaskMemAlloc)},
      {"OLE32", "CoTaskMemFree", Address(CoTaskMemFree)},
      {"OLE32", "StringFromCLSID", Address(StringFromCLSID)},
      {"OLE32", "StringFromGUID2", Address(StringFromGUID2)},
      {"OLE32", "CLSIDFromString", Address(CLSIDFromString)},
      {"OLE32", "CoLockObjectExternal", Address(CoLockObjectExternal)},
      {"ADVAPI32", "RegCreateKeyExW", Address(RegCreateKeyExW)},
      {"ADVAPI32", "RegOpenKeyExW", Address(RegOpenKeyExW)},
      {"ADVAPI32", "RegCloseKey", Address(RegCloseKey)},
      {"ADVAPI32", "RegSetValueExW", Address(RegSetValueExW)},
      {"ADVAPI32", "RegQueryValueExW", Address(RegQueryValueExW)},
      {"ADVAPI32", "RegDeleteKeyW", Address(RegDeleteKeyW)},
      {"ADVAPI32", "RegDeleteTreeW", Address(RegDeleteTreeW)},
      {"ADVAPI32", "RegEnumKeyExW", Address(RegEnumKeyExW)},
      {"USER32", "MessageBoxW", Address(MessageBoxW)},
  }};
  return exports;
}

const SystemLibrary* FindSystemLibrary(LPCWSTR fileName) {
  std::string name = tellavo::Utf16ToUtf8(fileName);
  std::transform(name.begin(), name.end(), name.begin(), [](char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  });
  if (name.ends_with(".DLL"))
    name.resize(name.size() - 4);
  const auto found =
      std::find_if(systemLibraries.begin(), systemLibraries.end(),
                   [&](const SystemLibrary& library) { return library.name == name; });
  return found == systemLibraries.end() ? nullptr : &*found;
}

const SystemLibrary* AsSystemLibrary(HMODULE module) {
  const auto found =
      std::find_if(systemLibraries.begin(), systemLibraries.end(),
                   [module](const SystemLibrary& library) { return &library == module; });
  return found == systemLibraries.end() ? nullptr : &*found;
}

HMODULE Handle(const SystemLibrary* library) {
  return const_cast<SystemLibrary*>(library);
}

// Handles that stand for this platform library: the system libraries and the
// module whose message table FormatMessageW reads.
bool IsPlatformHandle(HMODULE module) {
  return AsSystemLibrary(module) != nullptr || module == GetModuleHandleW(u"wininet.dll");
}

std::string ProgramPath() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error).string();
}

std::string PathOfLinkMap(const link_map* map) {
  if (map == nullptr || map->l_name == nullptr || *map->l_name == 0)
    return ProgramPath();
  std::error_code error;
  const auto absolute = std::filesystem::absolute(map->l_name, error);
  return error ? std::string(map->l_name) : absolute.lexically_normal().string();
}

std::string PlatformLibraryPath() {
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(reinterpret_cast<void*>(&IsPlatformHandle), &info, reinterpret_cast<void**>(&map),
              RTLD_DL_LINKMAP) == 0)
    return {};
  return PathOfLinkMap(map);
}

// Copies a path into a caller's buffer as the Windows path functions do:
// the length without the zero when it fits, else the size needed with it.
DWORD CopyPath(const std::u16string& path, LPWSTR buffer, DWORD size) {
  if (buffer == nullptr || path.size() >= size)
    return static_cast<DWORD>(path.size() + 1);
  path.copy(buffer, path.size());
  buffer[path.size()] = 0;
  return static_cast<DWORD>(path.size());
}

// The path of an existing file, or nothing with the thread's last error set.
bool ExistingPath(LPCWSTR path, std::filesystem::path& result) {
  if (path == nullptr || *path == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  result = std::filesystem::path(tellavo::Utf16ToFileName(path));
  std::error_code error;
  if (!std::filesystem::exists(result, error)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  return true;
}

std::atomic<UINT> errorMode{0};

} // namespace

HMODULE LoadLibraryW(LPCWSTR fileName) {
  if (fileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (const SystemLibrary* library = FindSystemLibrary(fileName))
    return Handle(library);
  if (HMODULE known = GetModuleHandleW(fileName))
    return known;
  HMODULE module = dlopen(tellavo::Utf16ToFileName(fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr)
    SetLastError(ERROR_MOD_NOT_FOUND);
  return module;
}

BOOL FreeLibrary(HMODULE module) {
  if (module == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (IsPlatformHandle(module))
    return TRUE;
  return dlclose(module) == 0 ? TRUE : FALSE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  // Names below 0x10000 are ordinals, which no library here has.
  if (module == nullptr || reinterpret_cast<uintptr_t>(procName) < 0x10000) {
    SetLastError(module == nullptr ? ERROR_INVALID_HANDLE : ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  FARPROC address = nullptr;
  if (const SystemLibrary* library = AsSystemLibrary(module)) {
    const auto& exports = Exports();
    const auto found = std::find_if(exports.begin(), exports.end(), [&](const Export& e) {
      return e.library == library->name && e.name == procName;
    });
    address = found == exports.end() ? nullptr : found->address;
  } else if (!IsPlatformHandle(module)) {
    address = reinterpret_cast<FARPROC>(dlsym(module, procName));
  }
  if (address == nullptr)
    SetLastError(ERROR_PROC_NOT_FOUND);
  return address;
}

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE* module) {
  if (module == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *module = nullptr;
  const bool keepCount =
      (flags & (GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT | GET_MODULE_HANDLE_EX_FLAG_PIN)) != 0;
  if ((flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) != 0) {
    Dl_info info{};
    link_map* map = nullptr;
    if (dladdr1(name, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
        map == nullptr) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return FALSE;
    }
    // glibc's handles are the objects' link maps; the program cannot be
    // unloaded, so its reference count does not matter.
    const bool program = map->l_name == nullptr || *map->l_name == 0;
    *module = keepCount || program ? static_cast<HMODULE>(map)
                                   : dlopen(map->l_name, RTLD_LAZY | RTLD_NOLOAD);
  } else if (name == nullptr) {
    *module = dlopen(nullptr, RTLD_LAZY);
  } else if (const SystemLibrary* library = FindSystemLibrary(name)) {
    *module = Handle(library);
  } else if (HMODULE known = GetModuleHandleW(name)) {
    *module = known;
  } else {
    const std::string file = tellavo::Utf16ToFileName(name);
    *module = dlopen(file.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (*module != nullptr && keepCount)
      dlclose(*module);
  }
  if (*module == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  std::string path;
  if (module == nullptr) {
    path = ProgramPath();
  } else if (IsPlatformHandle(module)) {
    path = PlatformLibraryPath();
  } else {
    link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    path = PathOfLinkMap(map);
  }
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (fileName == nullptr || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const std::u16string text = tellavo::FileNameToUtf16(path);
  const DWORD copied = static_cast<DWORD>(std::min<size_t>(text.size(), size - 1));
  text.copy(fileName, copied);
  fileName[copied] = 0;
  if (copied < text.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  return copied;
}

DWORD GetLongPathNameW(LPCWSTR shortPath, LPWSTR longPath, DWORD size) {
  std::filesystem::path path;
  if (!ExistingPath(shortPath, path))
    return 0;
  std::error_code error;
  const auto absolute = std::filesystem::absolute(path, error);
  if (error) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  return CopyPath(tellavo::FileNameToUtf16(absolute.lexically_normal().string()), longPath, size);
}

DWORD GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD size) {
  std::filesystem::path path;
  if (!ExistingPath(longPath, path))
    return 0;
  return CopyPath(longPath, shortPath, size);
}

UINT SetErrorMode(UINT mode) {
  return errorMode.exchange(mode);
}

DWORD GetCurrentProcessId() {
  return static_cast<DWORD>(getpid());
}

HWINSTA GetProcessWindowStation() {
  static int station;
  return &station;
}

BOOL GetUserObjectInformationW(HANDLE object, int index, void* info, DWORD length, DWORD* needed) {
  if (needed != nullptr)
    *needed = sizeof(USEROBJECTFLAGS);
  if (object != GetProcessWindowStation() || index != UOI_FLAGS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (info == nullptr || length < sizeof(USEROBJECTFLAGS)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *static_cast<USEROBJECTFLAGS*>(info) = {FALSE, FALSE, WSF_VISIBLE};
  return TRUE;
}

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT) {
  const std::string title = caption == nullptr ? "Error" : tellavo::Utf16ToUtf8(caption);
  const std::string body = text == nullptr ? "" : tellavo::Utf16ToUtf8(text);
  std::fprintf(stderr, "%s: %s\n", title.c_str(), body.c_str());
  return IDOK;
}
