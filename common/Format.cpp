#include "common/Format.h"

#include <stdexcept>

namespace tellavo {

std::u16string_view FormatArg::Text() const {
  if (const auto* text = std::get_if<std::u16string_view>(&value_))
    return *text;
  throw std::logic_error("format argument is not a text");
}

int64_t FormatArg::Number() const {
  if (const auto* number = std::get_if<int64_t>(&value_))
    return *number;
  throw std::logic_error("format argument is not a number");
}

namespace {

void AppendDecimal(std::u16string& out, int64_t value) {
  const std::string digits = std::to_string(value);
  out.append(digits.begin(), digits.end());
}

void AppendHex(std::u16string& out, uint32_t value, size_t width) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), u"0123456789ABCDEF"[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (digits.size() < width)
    digits.insert(0, width - digits.size(), u'0');
  out += digits;
}

} // namespace

std::u16string Format(std::u16string_view pattern, std::initializer_list<FormatArg> args) {
  std::u16string out;
  auto next = args.begin();
  auto take = [&]() -> const FormatArg& {
    if (next == args.end())
      throw std::logic_error("too few format arguments");
    return *next++;
  };
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != u'%' || i + 1 == pattern.size()) {
      out += pattern[i];
      continue;
    }
    size_t width = 0;
    size_t j = i + 1;
    if (pattern[j] == u'.') {
      for (++j; j < pattern.size() && pattern[j] >= u'0' && pattern[j] <= u'9'; ++j)
        width = width * 10 + (pattern[j] - u'0');
    }
    if (j == pattern.size())
      throw std::logic_error("unfinished format specifier");
    switch (pattern[j]) {
    case u's':
      out += take().Text();
      break;
    case u'd':
      AppendDecimal(out, take().Number());
      break;
    case u'x':
      AppendHex(out, static_cast<uint32_t>(take().Number()), width);
      break;
    case u'%':
      out += u'%';
      break;
    default:
      throw std::logic_error("unknown format specifier");
    }
    i = j;
  }
  return out;
}

} // namespace tellavo
