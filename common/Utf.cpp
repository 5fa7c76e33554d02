#include "common/Utf.h"

#include "common/UtfBlocks.h"

namespace tellavo {

namespace {

// Text is converted a slice at a time into a buffer on the stack and
// appended from there, so that the result is written once and grows only by
// what was converted.
constexpr size_t kSliceUnits = 4096;
constexpr size_t kSliceBytes = 8192;

// The length of the first slice of `text` that ends on a character: a high
// surrogate waits for the next slice, which may hold its low half.
size_t SliceLength(std::u16string_view text) {
  if (text.size() <= kSliceUnits)
    return text.size();
  const char16_t last = text[kSliceUnits - 1];
  return last >= 0xD800 && last <= 0xDBFF ? kSliceUnits - 1 : kSliceUnits;
}

// The same for UTF-8: a lead byte among the last three waits for the next
// slice when the sequence it announces runs past this one.
size_t SliceLength(std::string_view text) {
  if (text.size() <= kSliceBytes)
    return text.size();
  for (size_t back = 1; back <= 3; ++back) {
    const auto byte = static_cast<unsigned char>(text[kSliceBytes - back]);
    if ((byte & 0xC0) == 0x80)
      continue;
    const size_t announced = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
    return announced >= back ? kSliceBytes - back : kSliceBytes;
  }
  return kSliceBytes;
}

} // namespace

void AppendUtf8(std::string& out, std::u16string_view text) {
  // Room for mostly Latin text at once; other scripts grow it as they go.
  out.reserve(out.size() + text.size() + text.size() / 4);
  const VectorPath path = FastestVectorPath();
  char buffer[3 * kSliceUnits + kEncodeSlack];
  while (!text.empty()) {
    const size_t length = SliceLength(text);
    const char* end = EncodeUtf8(path, text.data(), length, buffer);
    out.append(buffer, end - buffer);
    text.remove_prefix(length);
  }
}

void AppendUtf16(std::u16string& out, std::string_view text) {
  out.reserve(out.size() + text.size());
  const VectorPath path = FastestVectorPath();
  char16_t buffer[kSliceBytes];
  while (!text.empty()) {
    const size_t length = SliceLength(text);
    const char16_t* end = DecodeUtf8(path, text.data(), length, buffer);
    out.append(buffer, end - buffer);
    text.remove_prefix(length);
  }
}

} // namespace tellavo
