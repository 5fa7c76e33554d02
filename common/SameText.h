// Comparison without regard to letter case, for the texts that protocols
// and interfaces name case-blind: operation and return names, fault parts,
// boolean attribute values, content types, header names, URL schemes,
// member names. Only ASCII letters are folded: every text compared this way
// is ASCII by its protocol, and folding others would depend on a locale.
#pragma once

#include <algorithm>
#include <string_view>

namespace tellavo {

template <class Char> constexpr Char FoldAsciiCase(Char c) {
  return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <class Char>
bool SameAsciiText(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  return std::ranges::equal(a, b,
                            [](Char x, Char y) { return FoldAsciiCase(x) == FoldAsciiCase(y); });
}

inline bool SameText(std::u16string_view a, std::u16string_view b) {
  return SameAsciiText(a, b);
}

inline bool SameText(std::string_view a, std::string_view b) {
  return SameAsciiText(a, b);
}

} // namespace tellavo
