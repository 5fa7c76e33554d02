// Kernel and user services for the posix build: modules and their paths,
// dynamic libraries, the error mode and the message box.
//
// A module handle is a dlopen handle. The names of the Windows system
// libraries ("OLEAUT32.DLL", "KERNEL32" ...; case and the .DLL suffix do not
// matter) stand for this platform library: GetProcAddress finds in them the
// functions of this layer that Windows exports under those names (for example
// UnRegisterTypeLib in OLEAUT32, GetLongPathNameW in KERNEL32).
#pragma once

#include "WinTypes.h"

using SIZE_T = size_t;
using LPCSTR = const char*;
using FARPROC = intptr_t (*)();

constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;

constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_PIN = 0x1;
constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT = 0x2;
constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS = 0x4;

HMODULE LoadLibraryW(LPCWSTR fileName);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
// With GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, name is an address inside the
// module (a function of it): that is how a module finds its own handle.
BOOL GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE* module);
// The full path of a module (null: the program); truncated and terminated
// with ERROR_INSUFFICIENT_BUFFER when the buffer is too small.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

// The absolute form of an existing path, with "." and ".." resolved and
// symbolic links kept.
DWORD GetLongPathNameW(LPCWSTR shortPath, LPWSTR longPath, DWORD size);
// posix has no short names: the path of an existing file, unchanged.
DWORD GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD size);

constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;
constexpr UINT SEM_NOGPFAULTERRORBOX = 0x0002;
constexpr UINT SEM_NOOPENFILEERRORBOX = 0x8000;

// Kept and answered process-wide; posix shows no error dialogs.
UINT SetErrorMode(UINT mode);

// The process's identifier, getpid's.
DWORD GetCurrentProcessId();

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_SETFOREGROUND = 0x10000;
constexpr int IDOK = 1;

// Writes caption and text to standard error and answers IDOK.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// The process's window station. A posix process has one stand-in station,
// its standard error, where MessageBoxW writes without waiting for anyone:
// its UOI_FLAGS report it visible (WSF_VISIBLE). Other information classes
// give ERROR_INVALID_PARAMETER.
using HWINSTA = void*;
struct USEROBJECTFLAGS {
  BOOL fInherit;
  BOOL fReserved;
  DWORD dwFlags;
};
constexpr int UOI_FLAGS = 1;
constexpr DWORD WSF_VISIBLE = 0x0001;
HWINSTA GetProcessWindowStation();
BOOL GetUserObjectInformationW(HANDLE object, int index, void* info, DWORD length, DWORD* needed);
