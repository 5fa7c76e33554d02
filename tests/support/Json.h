// A small JSON reader for the simulator's control answers: enough of RFC 8259
// to read what a conforming writer produces, and strict about the rest so that
// a garbled answer fails loudly instead of being half read.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tellavo::test {

class JsonValue {
public:
  enum class Kind { Null, Bool, Number, String, Array, Object };

  // Defined where JsonValue is complete: clang checks std::pair's members
  // when it meets the implicit ones here.
  JsonValue();
  JsonValue(const JsonValue&);
  JsonValue(JsonValue&&) noexcept;
  JsonValue& operator=(const JsonValue&);
  JsonValue& operator=(JsonValue&&) noexcept;
  ~JsonValue();

  Kind kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string text; // UTF-8
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members; // in document order

  bool IsNull() const { return kind == Kind::Null; }
  // The member of that name, or nullptr when absent.
  const JsonValue* Find(std::string_view name) const;
  // The member of that name; throws when absent.
  const JsonValue& operator[](std::string_view name) const;
  // Typed access; each throws when the value has another kind.
  bool Bool() const;
  long long Integer() const;
  const std::string& String() const;
  const std::vector<JsonValue>& Array() const;
};

// Throws std::runtime_error naming the offset of the first fault.
JsonValue ParseJson(std::string_view text);

// The text as a JSON string literal, quotes included.
std::string JsonQuote(std::string_view text);

} // namespace tellavo::test
