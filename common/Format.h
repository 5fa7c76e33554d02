// Fills the message patterns of the exception texts: %s takes a text, %d a
// signed number, %.8x (or %x) a number as upper-case hexadecimal, %% a
// percent sign.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace tellavo {

class FormatArg {
public:
  FormatArg(std::u16string_view text) : value_(text) {}
  FormatArg(const std::u16string& text) : value_(std::u16string_view(text)) {}
  FormatArg(const char16_t* text) : value_(std::u16string_view(text)) {}
  FormatArg(int value) : value_(static_cast<int64_t>(value)) {}
  FormatArg(long value) : value_(static_cast<int64_t>(value)) {}
  FormatArg(long long value) : value_(static_cast<int64_t>(value)) {}
  FormatArg(unsigned value) : value_(static_cast<int64_t>(value)) {}
  FormatArg(unsigned long value) : value_(static_cast<int64_t>(value)) {}
  // size_t on 64-bit Windows.
  FormatArg(unsigned long long value) : value_(static_cast<int64_t>(value)) {}

  std::u16string_view Text() const;
  int64_t Number() const;

private:
  std::variant<std::u16string_view, int64_t> value_;
};

std::u16string Format(std::u16string_view pattern, std::initializer_list<FormatArg> args);

} // namespace tellavo
