#include "common/FileNameText.h"

#include "common/Utf.h"

namespace tellavo {

namespace {

constexpr char16_t kEscapedByteBase = 0xDC00;

bool IsEscapedByte(char16_t unit) {
  return unit >= kEscapedByteBase + 0x80 && unit <= kEscapedByteBase + 0xFF;
}

// The length of the well-formed UTF-8 sequence at the start of `text` and
// its character, or 0 when it does not start with one.
size_t DecodeOne(std::string_view text, char32_t& c) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) {
    c = lead;
    return 1;
  }
  const size_t extra = lead < 0xC2 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF5 ? 3 : 0;
  if (extra == 0 || extra >= text.size())
    return 0;
  c = lead & (0x3F >> extra);
  for (size_t i = 1; i <= extra; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80)
      return 0;
    c = (c << 6) | (next & 0x3F);
  }
  const bool overlong = (extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000);
  const bool invalid = c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF);
  return overlong || invalid ? 0 : extra + 1;
}

} // namespace

std::u16string FileNameToUtf16(std::string_view name) {
  std::u16string out;
  out.reserve(name.size());
  while (!name.empty()) {
    char32_t c = 0;
    size_t length = DecodeOne(name, c);
    if (length == 0) {
      c = kEscapedByteBase | static_cast<unsigned char>(name[0]);
      length = 1;
    }
    AppendUtf16(out, c);
    name.remove_prefix(length);
  }
  return out;
}

std::string Utf16ToFileName(std::u16string_view name) {
  std::string out;
  out.reserve(name.size());
  size_t start = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    if (!IsEscapedByte(name[i]))
      continue;
    // A low surrogate right after a high one is half of a pair, not a byte.
    if (i > 0 && name[i - 1] >= 0xD800 && name[i - 1] <= 0xDBFF)
      continue;
    AppendUtf8(out, name.substr(start, i - start));
    out += static_cast<char>(name[i] - kEscapedByteBase);
    start = i + 1;
  }
  AppendUtf8(out, name.substr(start));
  return out;
}

} // namespace tellavo
