// UTF-8 and UTF-16 conversion at the edges of the core, which holds all text
// as UTF-16. Ill-formed input (a broken UTF-8 sequence, a lone surrogate)
// becomes U+FFFD instead of being dropped, so no text silently disappears.
// Whole texts go through the vector block converters of UtfBlocks.h.
#pragma once

#include <string>
#include <string_view>

namespace tellavo {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

inline void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

inline void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 | (c >> 10));
    out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
  }
}

// Appends `text` as UTF-8; an unpaired surrogate becomes U+FFFD.
void AppendUtf8(std::string& out, std::u16string_view text);

// Appends `text` as UTF-16. A byte that cannot start a sequence becomes one
// U+FFFD; so does a sequence that is cut short, overlong, a surrogate or
// beyond U+10FFFF, together with the continuation bytes read for it.
void AppendUtf16(std::u16string& out, std::string_view text);

inline std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  AppendUtf8(out, text);
  return out;
}

inline std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  AppendUtf16(out, text);
  return out;
}

} // namespace tellavo
