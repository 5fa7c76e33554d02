// Texts at the platform's wide-character interfaces. The core holds UTF-16 as
// char16_t; the platform's wide characters are the same 16-bit units under
// another type name.
#pragma once

#include <string>
#include <string_view>

#include "Platform.h"

namespace tellavo::server {

inline LPCWSTR Wide(const std::u16string& text) {
  return reinterpret_cast<LPCWSTR>(text.c_str());
}

inline LPCWSTR Wide(const char16_t* text) {
  return reinterpret_cast<LPCWSTR>(text);
}

inline std::u16string FromWide(const WCHAR* text, size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

} // namespace tellavo::server
