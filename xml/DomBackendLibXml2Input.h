// What the libxml2 parser reads: bytes as received, or the layer's UTF-16
// text, handed to the parser in pieces so that a load makes no whole copy of
// its input.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tellavo::dom {

class ParseInput {
public:
  virtual ~ParseInput() = default;

  // The encoding the parser must read the input in, or nullptr to let it
  // decide by byte-order mark, declaration or else UTF-8.
  virtual const char* Encoding() const = 0;
  // Fills `buffer` with the next bytes, at most `size`; 0 at the end.
  virtual int Read(char* buffer, int size) = 0;
  // Line `line` (from 1) of the input, at most `maxUnits` of it; lines end in
  // CR LF, CR or LF.
  virtual std::u16string SourceLine(int line, size_t maxUnits) const = 0;
  // The input's XML declaration in UTF-8, from "<?xml" to "?>", when the
  // input starts with one; empty otherwise.
  virtual std::string Declaration() const = 0;
};

// Bytes in whatever encoding they declare.
class ByteInput final : public ParseInput {
public:
  explicit ByteInput(std::string_view bytes) : bytes_(bytes) {}
  const char* Encoding() const override { return nullptr; }
  int Read(char* buffer, int size) override;
  std::u16string SourceLine(int line, size_t maxUnits) const override;
  std::string Declaration() const override;

private:
  std::string_view bytes_;
  size_t position_ = 0;
};

// UTF-16 text, read as UTF-8 whatever its declaration names.
class TextInput final : public ParseInput {
public:
  explicit TextInput(std::u16string_view text) : text_(text) {}
  const char* Encoding() const override { return "UTF-8"; }
  int Read(char* buffer, int size) override;
  std::u16string SourceLine(int line, size_t maxUnits) const override;
  std::string Declaration() const override;

private:
  std::u16string_view text_;
  size_t position_ = 0;   // the next unit to convert
  std::string converted_; // converted bytes not yet read
  size_t convertedRead_ = 0;
};

} // namespace tellavo::dom
