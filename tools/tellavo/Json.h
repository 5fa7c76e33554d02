// JSON output: one object per line, members in the order added. Texts are
// written as UTF-8 with control characters escaped, so a line break inside a
// value (the CR LF of a gateway answer) never breaks the line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tellavo::cli {

// The text as a JSON string literal, quotes included.
std::string JsonQuote(std::u16string_view text);

class JsonObject {
public:
  JsonObject& Text(std::string_view name, std::u16string_view value);
  // A missing value is written as null.
  JsonObject& TextOrNull(std::string_view name, const std::optional<std::u16string>& value);
  JsonObject& Number(std::string_view name, long long value);
  JsonObject& Object(std::string_view name, const JsonObject& value);

  std::string Str() const { return "{" + members_ + "}"; }

private:
  JsonObject& Member(std::string_view name, std::string_view json);

  std::string members_;
};

} // namespace tellavo::cli
