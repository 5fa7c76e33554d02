// Owners of the Windows kernel objects and LocalAlloc memory that the
// system hands out, each closed or freed when its owner goes.
#pragma once

#include "Platform.h"
#include "common/UniqueHandle.h"

namespace tellavo {

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

} // namespace tellavo
