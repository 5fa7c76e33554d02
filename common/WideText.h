// Texts at the platform's wide-character interfaces. The core holds UTF-16 as
// char16_t; the platform's wide characters are the same 16-bit units under
// another type name, so these are the only casts between the two.
#pragma once

#include <string>
#include <string_view>

#include "Platform.h"

namespace tellavo {

inline LPCWSTR Wide(const char16_t* text) {
  return reinterpret_cast<LPCWSTR>(text);
}

inline LPCWSTR Wide(const std::u16string& text) {
  return Wide(text.c_str());
}

// A buffer that a wide-character function fills.
inline LPWSTR Wide(char16_t* buffer) {
  return reinterpret_cast<LPWSTR>(buffer);
}

// For interfaces that take a writable pointer to a text they only read.
inline LPOLESTR OleText(const std::u16string& text) {
  return const_cast<LPOLESTR>(reinterpret_cast<LPCOLESTR>(text.c_str()));
}

inline const char16_t* FromWide(const WCHAR* text) {
  return reinterpret_cast<const char16_t*>(text);
}

inline std::u16string FromWide(const WCHAR* text, size_t length) {
  return std::u16string(FromWide(text), length);
}

} // namespace tellavo
