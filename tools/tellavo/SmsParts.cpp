#include "tools/tellavo/SmsParts.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace tellavo::cli {
namespace {

// The default alphabet without its escape (0x1B), which is no character.
constexpr std::u16string_view kDefaultAlphabet =
    u"@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
    u"¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà";
constexpr std::u16string_view kExtensionTable = u"\f^{}\\[~]|€";
static_assert(kDefaultAlphabet.size() == 127 && kExtensionTable.size() == 10);

struct Limits {
  size_t single;  // units one SMS carries
  size_t perPart; // units each part of a concatenated message carries
};
constexpr Limits kGsm7Limits{160, 153};
constexpr Limits kUcs2Limits{70, 67};

// Every character of both tables but the euro sign lies below this.
constexpr char16_t kTableEnd = 0x400;

size_t LookUp(char16_t c) {
  if (kDefaultAlphabet.find(c) != std::u16string_view::npos)
    return 1;
  return kExtensionTable.find(c) != std::u16string_view::npos ? 2 : 0;
}

constexpr bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Splits the text, a character at a time, into units of `unitsAt(i)` each
// (which also says how many UTF-16 units of the text they cover). A
// character never straddles two parts: an escaped character or a surrogate
// pair that does not fit goes whole into the next part.
template <class UnitsAt>
SmsCount Split(SmsEncoding encoding, Limits limits, std::u16string_view text, UnitsAt unitsAt) {
  SmsCount count{encoding, 0, 1};
  size_t inPart = 0;
  for (size_t i = 0; i < text.size();) {
    const auto [units, span] = unitsAt(i);
    if (inPart + units > limits.perPart) {
      ++count.parts;
      inPart = 0;
    }
    inPart += units;
    count.units += units;
    i += span;
  }
  if (count.units <= limits.single)
    count.parts = 1;
  return count;
}

} // namespace

size_t GsmSeptets(char16_t c) {
  static const auto kTable = [] {
    std::array<uint8_t, kTableEnd> table{};
    for (char16_t c = 0; c < kTableEnd; ++c)
      table[c] = static_cast<uint8_t>(LookUp(c));
    return table;
  }();
  return c < kTableEnd ? kTable[c] : LookUp(c);
}

SmsCount CountSms(std::u16string_view text) {
  const bool gsm7 = std::all_of(text.begin(), text.end(), [](char16_t c) { return GsmSeptets(c); });
  if (gsm7) {
    return Split(SmsEncoding::Gsm7, kGsm7Limits, text, [text](size_t i) {
      return std::pair<size_t, size_t>{GsmSeptets(text[i]), 1};
    });
  }
  return Split(SmsEncoding::Ucs2, kUcs2Limits, text, [text](size_t i) {
    const size_t span =
        IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]) ? 2 : 1;
    return std::pair<size_t, size_t>{span, span};
  });
}

std::string_view EncodingName(SmsEncoding encoding) {
  return encoding == SmsEncoding::Gsm7 ? "GSM 7-bit" : "UCS-2";
}

} // namespace tellavo::cli
