#include "xml/DomBackendLibXml2Input.h"

#include <algorithm>
#include <cstring>

#include "common/Utf.h"

namespace tellavo::dom {
namespace {

// How many UTF-16 units one read converts at most.
constexpr size_t kTextPieceUnits = 4096;

template <class Char>
std::basic_string_view<Char> LineOf(std::basic_string_view<Char> text, int line, size_t maxUnits) {
  constexpr Char lineEnds[] = {'\r', '\n', 0};
  for (int current = 1; current < line; ++current) {
    const size_t end = text.find_first_of(lineEnds);
    if (end == text.npos)
      return {};
    text.remove_prefix(
        end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1));
  }
  return text.substr(0, std::min(text.find_first_of(lineEnds), maxUnits));
}

// The declaration at the start of `text`: its target is exactly "xml", so
// "<?xml-stylesheet" is an instruction of its own.
template <class Char>
std::basic_string_view<Char> DeclarationOf(std::basic_string_view<Char> text) {
  constexpr Char open[] = {'<', '?', 'x', 'm', 'l', 0};
  constexpr Char close[] = {'?', '>', 0};
  constexpr Char blanks[] = {' ', '\t', '\r', '\n', 0};
  if (!text.starts_with(open) || text.size() <= 5 ||
      std::basic_string_view<Char>(blanks).find(text[5]) == text.npos)
    return {};
  const size_t end = text.find(close);
  return end == text.npos ? std::basic_string_view<Char>() : text.substr(0, end + 2);
}

} // namespace

int ByteInput::Read(char* buffer, int size) {
  const size_t count = std::min(bytes_.size() - position_, static_cast<size_t>(size));
  std::memcpy(buffer, bytes_.data() + position_, count);
  position_ += count;
  return static_cast<int>(count);
}

// Decoded for the encodings that matter here: UTF-16 by its byte-order mark,
// else UTF-8.
std::u16string ByteInput::SourceLine(int line, size_t maxUnits) const {
  const bool utf16le = bytes_.starts_with("\xFF\xFE");
  if (!utf16le && !bytes_.starts_with("\xFE\xFF"))
    return Utf8ToUtf16(LineOf(bytes_, line, maxUnits));
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes_.size(); i += 2) {
    const auto a = static_cast<unsigned char>(bytes_[i]);
    const auto b = static_cast<unsigned char>(bytes_[i + 1]);
    text += static_cast<char16_t>(utf16le ? a | (b << 8) : (a << 8) | b);
  }
  return std::u16string(LineOf(std::u16string_view(text), line, maxUnits));
}

std::string ByteInput::Declaration() const {
  std::string_view bytes = bytes_;
  if (bytes.starts_with("\xEF\xBB\xBF"))
    bytes.remove_prefix(3);
  return std::string(DeclarationOf(bytes));
}

int TextInput::Read(char* buffer, int size) {
  if (convertedRead_ == converted_.size() && position_ < text_.size()) {
    // A piece never ends between the two halves of a surrogate pair.
    size_t end = std::min(text_.size(), position_ + kTextPieceUnits);
    if (end < text_.size() && end - position_ > 1 && text_[end - 1] >= 0xD800 &&
        text_[end - 1] <= 0xDBFF)
      --end;
    converted_ = Utf16ToUtf8(text_.substr(position_, end - position_));
    convertedRead_ = 0;
    position_ = end;
  }
  const size_t count = std::min(converted_.size() - convertedRead_, static_cast<size_t>(size));
  std::memcpy(buffer, converted_.data() + convertedRead_, count);
  convertedRead_ += count;
  return static_cast<int>(count);
}

std::u16string TextInput::SourceLine(int line, size_t maxUnits) const {
  return std::u16string(LineOf(text_, line, maxUnits));
}

std::string TextInput::Declaration() const {
  return Utf16ToUtf8(DeclarationOf(text_));
}

} // namespace tellavo::dom
