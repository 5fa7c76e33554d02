// Basic Windows data types, result codes and GUIDs for the posix build. The
// core names them exactly as on Windows, where the same names come from the
// system headers.
#pragma once

#include <cstdint>
#include <cstring>

#define STDMETHODCALLTYPE
#define WINAPI

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using INT = int32_t;
using UINT = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using BOOL = int32_t;
using HRESULT = int32_t;
using SCODE = int32_t;
using LCID = uint32_t;
using WCHAR = char16_t;
using OLECHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using LPVOID = void*;
using ULONG_PTR = uintptr_t;
using HANDLE = void*;
using HMODULE = void*;
using HWND = void*;

// A time in 100 ns units, split into two halves.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
using PFILETIME = FILETIME*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr HRESULT MakeResult(uint32_t code) {
  return static_cast<HRESULT>(code);
}

// The HRESULT that carries a system error code (facility 7).
constexpr HRESULT HRESULT_FROM_WIN32(uint32_t code) {
  return code == 0 ? 0 : MakeResult((code & 0xFFFF) | 0x80070000);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_UNEXPECTED = MakeResult(0x8000FFFF);
constexpr HRESULT E_NOTIMPL = MakeResult(0x80004001);
constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002);
constexpr HRESULT E_POINTER = MakeResult(0x80004003);
constexpr HRESULT E_FAIL = MakeResult(0x80004005);
constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000E);
constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeResult(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeResult(0x80040111);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeResult(0x80020001);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeResult(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeResult(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = MakeResult(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = MakeResult(0x80020006);
constexpr HRESULT DISP_E_NONAMEDARGS = MakeResult(0x80020007);
constexpr HRESULT DISP_E_BADVARTYPE = MakeResult(0x80020008);
constexpr HRESULT DISP_E_EXCEPTION = MakeResult(0x80020009);
constexpr HRESULT DISP_E_OVERFLOW = MakeResult(0x8002000A);
constexpr HRESULT DISP_E_BADINDEX = MakeResult(0x8002000B);
constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeResult(0x8002000E);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = MakeResult(0x8002000F);
constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = MakeResult(0x8002802B);
constexpr HRESULT TYPE_E_CANTLOADLIBRARY = MakeResult(0x80029C4A);

constexpr bool SUCCEEDED(HRESULT hr) {
  return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
  return hr < 0;
}

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool operator==(const GUID& a, const GUID& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}
inline BOOL IsEqualGUID(REFGUID a, REFGUID b) {
  return a == b;
}

constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// The thread's last error code, as the platform functions of this layer set it.
DWORD GetLastError();
void SetLastError(DWORD code);

constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x200;
constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x800;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;

// Writes the message text of a system or module code, as the Windows function
// does for the codes that this layer knows; answers the number of characters
// written, 0 when there is no text.
DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     LPWSTR buffer, DWORD size, void* arguments);

// Module handles of the system libraries whose message tables FormatMessageW
// reads; only the WinINet table exists in this layer.
HMODULE GetModuleHandleW(LPCWSTR moduleName);
