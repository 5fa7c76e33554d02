// JSON output: one value per line, members in the order added, written as
// {"name": value, "other": value}. Texts are written as UTF-8 with control
// characters escaped, so a line break inside a value (the CR LF of a gateway
// answer) never breaks the line.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "common/Utf.h"

namespace tellavo::cli {

using Json = nlohmann::ordered_json;

// The value as one line of output, without the line feed.
std::string JsonLine(const Json& value);

} // namespace tellavo::cli

namespace nlohmann {

// The core's UTF-16 text is a JSON string, not an array of code units.
template <> struct adl_serializer<std::u16string_view> {
  template <typename BasicJson> static void to_json(BasicJson& json, std::u16string_view text) {
    json = tellavo::Utf16ToUtf8(text);
  }
};
template <> struct adl_serializer<std::u16string> : adl_serializer<std::u16string_view> {};

// A missing value is null.
template <typename T> struct adl_serializer<std::optional<T>> {
  template <typename BasicJson>
  static void to_json(BasicJson& json, const std::optional<T>& value) {
    if (value)
      json = *value;
    else
      json = nullptr;
  }
};

} // namespace nlohmann
