#include "gateway/FoldText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if TELLAVO_VECTOR_X86
#include <immintrin.h>
#endif

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

inline __attribute__((always_inline)) char16_t* FoldOne(char16_t c, char16_t* target) {
  if (EscapeGrowth(c) == 0) {
    *target = FoldChar(c);
    return target + 1;
  }
  const std::u16string_view entity = MarkupEntity(c);
  return std::copy(entity.begin(), entity.end(), target);
}

// The vector paths fold a block of characters at once and hand a block
// holding markup to this loop, inlined with FoldOne so that no call
// clobbers the vector constants they keep in registers.
inline __attribute__((always_inline)) char16_t* FoldSteps(const char16_t* in, const char16_t* end,
                                                          char16_t* target) {
  for (; in < end; ++in)
    target = FoldOne(*in, target);
  return target;
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

// The characters as uint16_t: clang 14 crashes when a char16_t meets a
// vector of uint16_t in one expression.
constexpr uint16_t kAmp = u'&', kLess = u'<', kGreater = u'>';
constexpr uint16_t kS = u'S', kG = u'G', kI = u'I', kc = u'c';

#if TELLAVO_VECTOR_X86

// Eight characters per step with the compiler's generic vectors.
__attribute__((target("sse2"))) char16_t* FoldSse2(const char16_t* in, const char16_t* end,
                                                   char16_t* target) {
  using Lanes = uint16_t __attribute__((vector_size(16)));
  constexpr size_t kLanes = sizeof(Lanes) / sizeof(uint16_t);
  for (; end - in >= static_cast<ptrdiff_t>(kLanes); in += kLanes) {
    Lanes c;
    std::memcpy(&c, in, sizeof c);
    const auto markup = (Lanes)((c == kAmp) | (c == kLess) | (c == kGreater));
    uint64_t markupBits[2];
    std::memcpy(markupBits, &markup, sizeof markupBits);
    if ((markupBits[0] | markupBits[1]) != 0) {
      target = FoldSteps(in, in + kLanes, target);
      continue;
    }
    const Lanes pair = c & kPairMask;
    const Lanes caseBit = (c & 1) << 5;
    Lanes folded = c;
    folded = pair == kShPair ? kS + caseBit : folded;
    folded = pair == kGhPair ? kG + caseBit : folded;
    folded = pair == kIPair ? kI + caseBit : folded;
    folded = c == kCCedilla ? Lanes{} + kc : folded;
    std::memcpy(target, &folded, sizeof folded);
    target += kLanes;
  }
  return FoldSteps(in, end, target);
}

// The optimiser rebuilds vector constants from immediates on every step of
// a loop rather than keep them in registers; this hides the value from it.
__attribute__((target("avx2"))) inline __m256i Kept(__m256i value) {
  __asm__("" : "+x"(value));
  return value;
}

// Sixteen characters per step.
__attribute__((target("avx2"))) char16_t* FoldAvx2(const char16_t* in, const char16_t* end,
                                                   char16_t* target) {
  constexpr size_t kLanes = 16;
  const __m256i amp = Kept(_mm256_set1_epi16(kAmp)), less = Kept(_mm256_set1_epi16(kLess)),
                greater = Kept(_mm256_set1_epi16(kGreater));
  const __m256i pairMask = Kept(_mm256_set1_epi16(static_cast<short>(kPairMask)));
  const __m256i shPair = Kept(_mm256_set1_epi16(kShPair)),
                ghPair = Kept(_mm256_set1_epi16(kGhPair)), iPair = Kept(_mm256_set1_epi16(kIPair)),
                cCedilla = Kept(_mm256_set1_epi16(kCCedilla));
  const __m256i s = Kept(_mm256_set1_epi16(kS)), g = Kept(_mm256_set1_epi16(kG)),
                i = Kept(_mm256_set1_epi16(kI)), c = Kept(_mm256_set1_epi16(kc));
  for (; end - in >= static_cast<ptrdiff_t>(kLanes); in += kLanes) {
    const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    const __m256i markup = _mm256_or_si256(
        _mm256_cmpeq_epi16(text, amp),
        _mm256_or_si256(_mm256_cmpeq_epi16(text, less), _mm256_cmpeq_epi16(text, greater)));
    if (!_mm256_testz_si256(markup, markup)) {
      target = FoldSteps(in, in + kLanes, target);
      continue;
    }
    const __m256i pair = _mm256_and_si256(text, pairMask);
    const __m256i caseBit = _mm256_srli_epi16(_mm256_slli_epi16(text, 15), 10);
    __m256i folded = text;
    folded =
        _mm256_blendv_epi8(folded, _mm256_add_epi16(s, caseBit), _mm256_cmpeq_epi16(pair, shPair));
    folded =
        _mm256_blendv_epi8(folded, _mm256_add_epi16(g, caseBit), _mm256_cmpeq_epi16(pair, ghPair));
    folded =
        _mm256_blendv_epi8(folded, _mm256_add_epi16(i, caseBit), _mm256_cmpeq_epi16(pair, iPair));
    folded = _mm256_blendv_epi8(folded, c, _mm256_cmpeq_epi16(text, cCedilla));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(target), folded);
    target += kLanes;
  }
  return FoldSteps(in, end, target);
}

#endif

} // namespace

char16_t* FoldSlice(VectorPath path, const char16_t* in, size_t count, char16_t* out) {
  const char16_t* end = in + count;
#if TELLAVO_VECTOR_X86
  if (path == VectorPath::Avx2)
    return FoldAvx2(in, end, out);
  if (path == VectorPath::Sse2)
    return FoldSse2(in, end, out);
#else
  (void)path;
#endif
  return FoldSteps(in, end, out);
}

size_t FoldedLength(std::u16string_view text) {
  return text.size() + EscapeGrowth(text);
}

void AppendFolded(std::u16string& out, std::u16string_view text) {
  // A slice at a time into a buffer on the stack, appended from there: one
  // pass over the text, and the result grows only by what was folded.
  constexpr size_t kSliceUnits = 1024;
  char16_t buffer[kSliceUnits * kMostFoldedUnits];
  const VectorPath path = FastestVectorPath();
  while (!text.empty()) {
    const size_t length = std::min(text.size(), kSliceUnits);
    const char16_t* end = FoldSlice(path, text.data(), length, buffer);
    out.append(buffer, end - buffer);
    text.remove_prefix(length);
  }
}

std::u16string FoldText(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  AppendFolded(out, text);
  return out;
}

} // namespace tellavo
