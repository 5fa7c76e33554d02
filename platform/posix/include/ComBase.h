// COM library services for the posix build: task memory, GUID texts and
// external locks.
#pragma once

#include "OleAuto.h"
#include "WinTypes.h"

using SIZE_T = size_t;

LPVOID CoTaskMemAlloc(SIZE_T size);
void CoTaskMemFree(LPVOID block);

// The braced, upper-case text of a GUID, {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX},
// allocated with CoTaskMemAlloc.
HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text);
HRESULT StringFromIID(REFIID iid, LPOLESTR* text);
// Writes that text into buffer; answers its length with the terminating zero,
// or 0 if the buffer is too small.
int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size);
// Reads that text; CO_E_CLASSSTRING when it is malformed.
constexpr HRESULT CO_E_CLASSSTRING = MakeResult(0x800401F3);
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);

// posix has no stub manager that could hold the object: answers S_OK.
HRESULT CoLockObjectExternal(IUnknown* object, BOOL lock, BOOL lastUnlockReleases);
