#include "Json.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "common/Utf.h"

namespace tellavo::test {
namespace {

// Nesting is limited so that hostile input cannot exhaust the stack.
constexpr int kMaxDepth = 200;

class Parser {
public:
  explicit Parser(std::string_view text) : text_(text) {}

  JsonValue Document() {
    JsonValue value = Value(0);
    SkipSpace();
    if (pos_ != text_.size())
      Fail("trailing characters");
    return value;
  }

private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
  }

  void SkipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r'))
      ++pos_;
  }

  char Peek() {
    SkipSpace();
    if (pos_ == text_.size())
      Fail("unexpected end");
    return text_[pos_];
  }

  void Expect(char c) {
    if (Peek() != c)
      Fail(std::string("expected '") + c + "'");
    ++pos_;
  }

  void Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word)
      Fail("unknown literal");
    pos_ += word.size();
  }

  JsonValue Value(int depth) {
    if (depth > kMaxDepth)
      Fail("nesting too deep");
    JsonValue v;
    switch (Peek()) {
    case '{':
      v.kind = JsonValue::Kind::Object;
      ++pos_;
      if (Peek() == '}') {
        ++pos_;
        return v;
      }
      for (;;) {
        if (Peek() != '"')
          Fail("expected a member name");
        std::string name = String();
        Expect(':');
        v.members.emplace_back(std::move(name), Value(depth + 1));
        if (Peek() == '}') {
          ++pos_;
          return v;
        }
        Expect(',');
      }
    case '[':
      v.kind = JsonValue::Kind::Array;
      ++pos_;
      if (Peek() == ']') {
        ++pos_;
        return v;
      }
      for (;;) {
        v.items.push_back(Value(depth + 1));
        if (Peek() == ']') {
          ++pos_;
          return v;
        }
        Expect(',');
      }
    case '"':
      v.kind = JsonValue::Kind::String;
      v.text = String();
      return v;
    case 't':
      Literal("true");
      v.kind = JsonValue::Kind::Bool;
      v.boolean = true;
      return v;
    case 'f':
      Literal("false");
      v.kind = JsonValue::Kind::Bool;
      return v;
    case 'n':
      Literal("null");
      return v;
    default:
      v.kind = JsonValue::Kind::Number;
      v.number = Number();
      return v;
    }
  }

  double Number() {
    const size_t start = pos_;
    auto digits = [&] {
      const size_t from = pos_;
      while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9')
        ++pos_;
      if (pos_ == from)
        Fail("expected a digit");
    };
    if (text_[pos_] == '-')
      ++pos_;
    digits();
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      digits();
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-'))
        ++pos_;
      digits();
    }
    return std::strtod(std::string(text_.substr(start, pos_ - start)).c_str(), nullptr);
  }

  unsigned Hex4() {
    if (text_.size() - pos_ < 4)
      Fail("short \\u escape");
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      value <<= 4;
      if (c >= '0' && c <= '9')
        value |= c - '0';
      else if (c >= 'a' && c <= 'f')
        value |= c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        value |= c - 'A' + 10;
      else
        Fail("bad \\u escape");
    }
    return value;
  }

  std::string String() {
    ++pos_; // opening quote
    std::string out;
    for (;;) {
      if (pos_ >= text_.size())
        Fail("unterminated string");
      const char c = text_[pos_++];
      if (c == '"')
        return out;
      if (static_cast<unsigned char>(c) < 0x20)
        Fail("control character in string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size())
        Fail("unterminated escape");
      switch (const char e = text_[pos_++]) {
      case '"':
      case '\\':
      case '/':
        out += e;
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u': {
        char32_t code = Hex4();
        if (code >= 0xD800 && code < 0xDC00 && text_.substr(pos_, 2) == "\\u") {
          const size_t back = pos_;
          pos_ += 2;
          const unsigned low = Hex4();
          if (low >= 0xDC00 && low < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          else
            pos_ = back;
        }
        // A lone surrogate cannot be written as UTF-8.
        if (code >= 0xD800 && code < 0xE000)
          code = kReplacementCharacter;
        AppendUtf8(out, code);
        break;
      }
      default:
        Fail("unknown escape");
      }
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

[[noreturn]] void WrongKind(const char* wanted) {
  throw std::runtime_error(std::string("JSON: value is not ") + wanted);
}

} // namespace

JsonValue::JsonValue() = default;
JsonValue::JsonValue(const JsonValue&) = default;
JsonValue::JsonValue(JsonValue&&) noexcept = default;
JsonValue& JsonValue::operator=(const JsonValue&) = default;
JsonValue& JsonValue::operator=(JsonValue&&) noexcept = default;
JsonValue::~JsonValue() = default;

const JsonValue* JsonValue::Find(std::string_view name) const {
  for (const auto& [key, value] : members)
    if (key == name)
      return &value;
  return nullptr;
}

const JsonValue& JsonValue::operator[](std::string_view name) const {
  if (const JsonValue* value = Find(name))
    return *value;
  throw std::runtime_error("JSON: no member " + std::string(name));
}

bool JsonValue::Bool() const {
  if (kind != Kind::Bool)
    WrongKind("a boolean");
  return boolean;
}

long long JsonValue::Integer() const {
  if (kind != Kind::Number || number != std::floor(number))
    WrongKind("an integer");
  return static_cast<long long>(number);
}

const std::string& JsonValue::String() const {
  if (kind != Kind::String)
    WrongKind("a string");
  return text;
}

const std::vector<JsonValue>& JsonValue::Array() const {
  if (kind != Kind::Array)
    WrongKind("an array");
  return items;
}

JsonValue ParseJson(std::string_view text) {
  return Parser(text).Document();
}

std::string JsonQuote(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

} // namespace tellavo::test
