// UTF-8 and UTF-16 conversion at the edges of the core, which holds all text
// as UTF-16. Ill-formed input (a broken UTF-8 sequence, a lone surrogate)
// becomes U+FFFD instead of being dropped, so no text silently disappears.
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

inline std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacementCharacter;
    }
    AppendUtf8(out, c);
  }
  return out;
}

inline std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    // Runs of ASCII, the bulk of most texts, are widened in one loop that
    // the compiler vectorises.
    size_t end = i;
    while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80)
      ++end;
    if (end > i) {
      const size_t start = out.size();
      out.resize(start + (end - i));
      for (size_t k = 0; k < end - i; ++k)
        out[start + k] = static_cast<unsigned char>(text[i + k]);
      i = end;
      continue;
    }
    const auto lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80   ? 0
                      : lead < 0xC2 ? -1
                      : lead < 0xE0 ? 1
                      : lead < 0xF0 ? 2
                      : lead < 0xF5 ? 3
                                    : -1;
    if (extra < 0) {
      AppendUtf16(out, kReplacementCharacter);
      ++i;
      continue;
    }
    char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    size_t j = 1;
    for (; j <= static_cast<size_t>(extra); ++j) {
      if (i + j >= text.size())
        break;
      const auto next = static_cast<unsigned char>(text[i + j]);
      if ((next & 0xC0) != 0x80)
        break;
      c = (c << 6) | (next & 0x3F);
    }
    const bool complete = j == static_cast<size_t>(extra) + 1;
    const bool overlong = (extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000);
    const bool invalid = c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF);
    if (!complete || overlong || invalid) {
      AppendUtf16(out, kReplacementCharacter);
      i += j;
      continue;
    }
    AppendUtf16(out, c);
    i += j;
  }
  return out;
}

} // namespace tellavo
