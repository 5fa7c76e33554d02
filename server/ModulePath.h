// Paths of the module as the system reports them.
#pragma once

#include <functional>
#include <string>

#include "Platform.h"

namespace tellavo::server {

using LongPathNameFunction = DWORD(WINAPI*)(LPCWSTR shortPath, LPWSTR longPath, DWORD size);

// The full path of the module, in its long form when `longPathName` is given
// and can make it; otherwise as first reported.
std::u16string ModulePath(HMODULE module, LongPathNameFunction longPathName);

// The short form of an existing path; empty when the system has none.
std::u16string ShortPathName(const std::u16string& path);

// Runs a system call that writes a path into a buffer, with a larger buffer
// as long as the call reports that the path did not fit (either by answering
// the size it needs or by filling the whole buffer); empty when it fails.
std::u16string ReadPath(const std::function<DWORD(LPWSTR buffer, DWORD size)>& call,
                        DWORD firstSize);

} // namespace tellavo::server
