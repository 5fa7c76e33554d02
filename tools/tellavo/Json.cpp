#include "tools/tellavo/Json.h"

#include "common/Utf.h"

namespace tellavo::cli {

std::string JsonQuote(std::u16string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  const std::string utf8 = Utf16ToUtf8(text);
  std::string quoted = "\"";
  quoted.reserve(utf8.size() + 2);
  for (const char c : utf8) {
    switch (c) {
    case '"':
      quoted += "\\\"";
      break;
    case '\\':
      quoted += "\\\\";
      break;
    case '\b':
      quoted += "\\b";
      break;
    case '\f':
      quoted += "\\f";
      break;
    case '\n':
      quoted += "\\n";
      break;
    case '\r':
      quoted += "\\r";
      break;
    case '\t':
      quoted += "\\t";
      break;
    default:
      if (static_cast<unsigned char>(c) < 0x20) {
        quoted += "\\u00";
        quoted += kHex[(c >> 4) & 0xF];
        quoted += kHex[c & 0xF];
      } else {
        quoted += c;
      }
    }
  }
  quoted += '"';
  return quoted;
}

JsonObject& JsonObject::Member(std::string_view name, std::string_view json) {
  if (!members_.empty())
    members_ += ", ";
  members_ += JsonQuote(Utf8ToUtf16(name));
  members_ += ": ";
  members_ += json;
  return *this;
}

JsonObject& JsonObject::Text(std::string_view name, std::u16string_view value) {
  return Member(name, JsonQuote(value));
}

JsonObject& JsonObject::TextOrNull(std::string_view name,
                                   const std::optional<std::u16string>& value) {
  return value ? Text(name, *value) : Member(name, "null");
}

JsonObject& JsonObject::Number(std::string_view name, long long value) {
  return Member(name, std::to_string(value));
}

JsonObject& JsonObject::Object(std::string_view name, const JsonObject& value) {
  return Member(name, value.Str());
}

} // namespace tellavo::cli
