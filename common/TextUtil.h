// Small text operations on UTF-16 that several subsystems share.
#pragma once

#include <string>
#include <string_view>

namespace tellavo {

// Whether `c` is a letter of ASCII, as names, schemes and drive letters take.
constexpr bool IsAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Removes every CR LF pair; a lone CR or LF stays.
std::u16string RemoveCrLfPairs(std::u16string_view text);

// Removes from both ends every character whose code is at most U+0020.
std::u16string TrimControl(std::u16string_view text);

// Removes trailing characters of code U+0020 or below and full stops.
std::u16string TrimRightControlAndPeriods(std::u16string_view text);

} // namespace tellavo
