#include "gateway/FoldText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tellavo {

namespace {

// How much longer escaping makes one character: 0 for all but & < >.
constexpr uint16_t EscapeGrowth(char16_t c) {
  return (c == u'&') * 4u + ((c == u'<') | (c == u'>')) * 3u;
}

// The letters come in pairs that differ in their lowest bit, as do their
// replacements in bit 5 (Ş ş → S s, Ğ ğ → G g, İ ı → I i); ç is alone.
constexpr uint16_t kPairMask = 0xFFFE;
constexpr uint16_t kShPair = 0x015E, kGhPair = 0x011E, kIPair = 0x0130, kCCedilla = 0x00E7;

constexpr char16_t FoldChar(char16_t c) {
  const uint16_t pair = c & kPairMask;
  const uint16_t caseBit = (c & 1) << 5;
  return pair == kShPair   ? u'S' + caseBit
         : pair == kGhPair ? u'G' + caseBit
         : pair == kIPair  ? u'I' + caseBit
         : c == kCCedilla  ? u'c'
                           : c;
}

char16_t* FoldOne(char16_t c, char16_t* target) {
  if (EscapeGrowth(c) == 0) {
    *target = FoldChar(c);
    return target + 1;
  }
  const std::u16string_view entity = MarkupEntity(c);
  return std::copy(entity.begin(), entity.end(), target);
}

// The total growth, summed in 16-bit blocks so that the loop vectorises.
size_t EscapeGrowth(std::u16string_view text) {
  constexpr size_t kBlock = 8192; // 4 × 8192 still fits 16 bits
  size_t total = 0;
  for (size_t start = 0; start < text.size(); start += kBlock) {
    const size_t end = std::min(text.size(), start + kBlock);
    uint16_t growth = 0;
    for (size_t i = start; i < end; ++i)
      growth += EscapeGrowth(text[i]);
    total += growth;
  }
  return total;
}

// Folds eight characters per step with vector operations; a step whose
// characters include markup writes its lanes one by one.
void FoldInto(std::u16string_view text, char16_t* target) {
  using Lanes = uint16_t __attribute__((vector_size(16)));
  constexpr size_t kLanes = sizeof(Lanes) / sizeof(uint16_t);
  // The characters as uint16_t: clang 14 crashes when a char16_t meets a
  // vector of uint16_t in one expression.
  constexpr uint16_t kAmp = u'&', kLess = u'<', kGreater = u'>';
  constexpr uint16_t kS = u'S', kG = u'G', kI = u'I', kc = u'c';
  size_t i = 0;
  for (; i + kLanes <= text.size(); i += kLanes) {
    Lanes c;
    std::memcpy(&c, text.data() + i, sizeof c);
    const auto markup = (Lanes)((c == kAmp) | (c == kLess) | (c == kGreater));
    const Lanes pair = c & kPairMask;
    const Lanes caseBit = (c & 1) << 5;
    Lanes folded = c;
    folded = pair == kShPair ? kS + caseBit : folded;
    folded = pair == kGhPair ? kG + caseBit : folded;
    folded = pair == kIPair ? kI + caseBit : folded;
    folded = c == kCCedilla ? Lanes{} + kc : folded;
    uint64_t markupBits[2];
    std::memcpy(markupBits, &markup, sizeof markupBits);
    if ((markupBits[0] | markupBits[1]) == 0) {
      std::memcpy(target, &folded, sizeof folded);
      target += kLanes;
      continue;
    }
    for (size_t k = 0; k < kLanes; ++k)
      target = FoldOne(text[i + k], target);
  }
  for (; i < text.size(); ++i)
    target = FoldOne(text[i], target);
}

} // namespace

size_t FoldedLength(std::u16string_view text) {
  return text.size() + EscapeGrowth(text);
}

void AppendFolded(std::u16string& out, std::u16string_view text) {
  const size_t start = out.size();
  out.resize(start + FoldedLength(text));
  FoldInto(text, out.data() + start);
}

std::u16string FoldText(std::u16string_view text) {
  std::u16string out;
  AppendFolded(out, text);
  return out;
}

} // namespace tellavo
