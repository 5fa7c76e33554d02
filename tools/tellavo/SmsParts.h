// How many SMS a text takes: in the GSM 7-bit default alphabet when every
// character has a place in it or in its extension table (whose characters
// take two septets, an escape and the character), else in UCS-2. One SMS
// carries 160 septets or 70 UTF-16 units; a concatenated message loses room
// to its header, so each part carries 153 septets or 67 units.
#pragma once

#include <cstddef>
#include <string_view>

namespace tellavo::cli {

enum class SmsEncoding { Gsm7, Ucs2 };

struct SmsCount {
  SmsEncoding encoding;
  size_t units; // septets in GSM 7-bit, UTF-16 units in UCS-2
  size_t parts; // an empty text still takes one SMS
};

// Septets that the character takes in the GSM 7-bit default alphabet: 1, 2
// for the extension table, 0 when it has no place there.
size_t GsmSeptets(char16_t c);

SmsCount CountSms(std::u16string_view text);

std::string_view EncodingName(SmsEncoding encoding);

} // namespace tellavo::cli
