// Whether this Windows program runs under Wine, for the few expectations that
// must name a difference between Wine and Windows.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

#include <string>

namespace tellavo::test {

inline bool RunningUnderWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

// Wine's DOM writes documents indented (CR LF and tabs between tags) and
// repeats a namespace declaration on every element created in that
// namespace. This gives the same document without either: white space alone
// between tags goes, and so does a declaration that an ancestor already made.
// Meant for the small documents Tellavo writes, whose text holds no raw '<'.
std::string WithoutWineLayout(const std::string& xml);

} // namespace tellavo::test
