// Comparison without regard to letter case, as the SOAP layer compares
// operation names, return names, fault parts and boolean attribute values,
// and the transport compares content types. Only ASCII letters are folded:
// every text compared this way is ASCII by its protocol.
#pragma once

#include <algorithm>
#include <string_view>

namespace tellavo {

inline char16_t FoldAsciiCase(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

inline bool SameText(std::u16string_view a, std::u16string_view b) {
  return std::ranges::equal(
      a, b, [](char16_t x, char16_t y) { return FoldAsciiCase(x) == FoldAsciiCase(y); });
}

} // namespace tellavo
