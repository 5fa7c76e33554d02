// Owners of the handles and memory that tests open themselves: each closed
// or freed when its owner goes. Header-only, so that programs without the
// support library take it as "tests/support/Handles.h".
#pragma once

#include "Platform.h"
#include "common/UniqueHandle.h"

namespace tellavo::test {

// A module loaded with LoadLibrary.
using LoadedModule = UniqueHandle<HMODULE, FreeLibrary>;

#ifdef _WIN32
// Closes a kernel object (a file, process, thread, token or event). A failed
// CreateFileW answers INVALID_HANDLE_VALUE, which is no handle either.
inline void CloseKernelHandle(HANDLE handle) {
  if (handle != INVALID_HANDLE_VALUE)
    CloseHandle(handle);
}
using KernelHandle = UniqueHandle<HANDLE, CloseKernelHandle>;

// Memory that a system function allocated with LocalAlloc, held as the
// pointer type that function fills.
template <class Pointer> using LocalMemory = UniqueHandle<Pointer, LocalFree>;
#endif

} // namespace tellavo::test
