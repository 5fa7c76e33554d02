#include "common/UtfBlocks.h"

#include <array>
#include <cstdint>

#if TELLAVO_VECTOR_X86
#include <immintrin.h>
#endif

namespace tellavo {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

constexpr bool IsSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}
constexpr bool IsHighSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Writes one character as UTF-8: a surrogate pair, or any other unit, an
// unpaired surrogate becoming U+FFFD. Returns the next unit to read.
const char16_t* EncodeOne(const char16_t* in, const char16_t* end, char*& out) {
  char32_t c = *in++;
  if (IsHighSurrogate(c) && in != end && IsLowSurrogate(*in))
    c = 0x10000 + ((c - 0xD800) << 10) + (*in++ - 0xDC00);
  else if (IsSurrogate(c))
    c = kReplacement;
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return in;
}

// Reads one sequence of UTF-8: the lead byte and the continuation bytes it
// announces, as far as they are there. Returns the next byte to read.
const unsigned char* DecodeOne(const unsigned char* in, const unsigned char* end, char16_t*& out) {
  const unsigned char lead = *in++;
  const int extra = lead < 0x80   ? 0
                    : lead < 0xC2 ? -1
                    : lead < 0xE0 ? 1
                    : lead < 0xF0 ? 2
                    : lead < 0xF5 ? 3
                                  : -1;
  if (extra < 0) {
    *out++ = kReplacement;
    return in;
  }
  char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
  int read = 0;
  for (; read < extra && in != end && (*in & 0xC0) == 0x80; ++read)
    c = (c << 6) | (*in++ & 0x3F);
  const bool overlong = (extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000);
  if (read < extra || overlong || c > 0x10FFFF || IsSurrogate(c)) {
    *out++ = kReplacement;
  } else if (c < 0x10000) {
    *out++ = static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    *out++ = static_cast<char16_t>(0xD800 | (c >> 10));
    *out++ = static_cast<char16_t>(0xDC00 | (c & 0x3FF));
  }
  return in;
}

// The vector paths convert what they can a block at a time and hand a block
// they cannot to these steps, which may run one unit past it to finish a
// surrogate pair or a sequence.
const char16_t* EncodeSteps(const char16_t* in, const char16_t* stop, const char16_t* end,
                            char*& out) {
  while (in < stop)
    in = EncodeOne(in, end, out);
  return in;
}

const unsigned char* DecodeSteps(const unsigned char* in, const unsigned char* stop,
                                 const unsigned char* end, char16_t*& out) {
  while (in < stop)
    in = DecodeOne(in, end, out);
  return in;
}

#if TELLAVO_VECTOR_X86

__attribute__((target("sse2"))) char* EncodeSse2(const char16_t* in, const char16_t* end,
                                                 char* out) {
  // Sixteen units at a time while they are ASCII.
  constexpr size_t kBlock = 16;
  const __m128i notAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
  while (end - in >= static_cast<ptrdiff_t>(kBlock)) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8));
    const __m128i wide = _mm_and_si128(_mm_or_si128(low, high), notAscii);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(wide, _mm_setzero_si128())) == 0xFFFF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
      in += kBlock;
      out += kBlock;
    } else {
      in = EncodeSteps(in, in + kBlock, end, out);
    }
  }
  EncodeSteps(in, end, end, out);
  return out;
}

__attribute__((target("sse2"))) char16_t* DecodeSse2(const unsigned char* in,
                                                     const unsigned char* end, char16_t* out) {
  // Sixteen bytes at a time while they are ASCII.
  constexpr size_t kBlock = 16;
  while (end - in >= static_cast<ptrdiff_t>(kBlock)) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    if (_mm_movemask_epi8(bytes) == 0) {
      const __m128i zero = _mm_setzero_si128();
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(bytes, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(bytes, zero));
      in += kBlock;
      out += kBlock;
    } else {
      in = DecodeSteps(in, in + kBlock, end, out);
    }
  }
  DecodeSteps(in, end, end, out);
  return out;
}

// For eight units below U+0800, each laid out as two bytes (lead and
// continuation, or the ASCII byte and a spare one), the byte shuffle that
// keeps only the bytes of their UTF-8 form. Bit k of the index: unit k is
// ASCII.
struct ShuffleOfTwoByteUnits {
  std::array<std::array<uint8_t, 16>, 256> keep{};
  constexpr ShuffleOfTwoByteUnits() {
    for (unsigned ascii = 0; ascii < 256; ++ascii) {
      size_t next = 0;
      for (uint8_t unit = 0; unit < 8; ++unit) {
        keep[ascii][next++] = 2 * unit;
        if ((ascii >> unit & 1) == 0)
          keep[ascii][next++] = 2 * unit + 1;
      }
      while (next < 16)
        keep[ascii][next++] = 0x80; // a zero byte, written past the end
    }
  }
};
constexpr ShuffleOfTwoByteUnits kTwoByteShuffle;

__attribute__((target("avx2"))) char* EncodeAvx2(const char16_t* in, const char16_t* end,
                                                 char* out) {
  // Sixteen units at a time: packed when they are ASCII, written as one or
  // two bytes each when they are below U+0800, else one by one.
  constexpr size_t kBlock = 16;
  const __m256i notAscii = _mm256_set1_epi16(static_cast<short>(0xFF80));
  const __m256i notTwoBytes = _mm256_set1_epi16(static_cast<short>(0xF800));
  const __m256i leadBits = _mm256_set1_epi16(0xC0);
  const __m256i continuationBits = _mm256_set1_epi16(0x80);
  const __m256i sixBits = _mm256_set1_epi16(0x3F);
  while (end - in >= static_cast<ptrdiff_t>(kBlock)) {
    const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    if (_mm256_testz_si256(units, notAscii)) {
      // Packing works within each half; the two halves' bytes are the
      // first and third quarter.
      const __m256i packed =
          _mm256_permute4x64_epi64(_mm256_packus_epi16(units, units), _MM_SHUFFLE(3, 1, 2, 0));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
      in += kBlock;
      out += kBlock;
      continue;
    }
    if (!_mm256_testz_si256(units, notTwoBytes)) {
      in = EncodeSteps(in, in + kBlock, end, out);
      continue;
    }
    const __m256i ascii =
        _mm256_cmpeq_epi16(_mm256_and_si256(units, notAscii), _mm256_setzero_si256());
    const __m256i lead = _mm256_or_si256(_mm256_srli_epi16(units, 6), leadBits);
    const __m256i continuation =
        _mm256_or_si256(_mm256_and_si256(units, sixBits), continuationBits);
    const __m256i pairs =
        _mm256_or_si256(_mm256_blendv_epi8(lead, units, ascii), _mm256_slli_epi16(continuation, 8));
    const auto asciiBits =
        static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_packs_epi16(ascii, ascii)));
    const unsigned lowAscii = asciiBits & 0xFF, highAscii = (asciiBits >> 16) & 0xFF;
    const __m256i shuffle = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(
            reinterpret_cast<const __m128i*>(kTwoByteShuffle.keep[lowAscii].data()))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(kTwoByteShuffle.keep[highAscii].data())),
        1);
    const __m256i bytes = _mm256_shuffle_epi8(pairs, shuffle);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
    out += 16 - __builtin_popcount(lowAscii);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_extracti128_si256(bytes, 1));
    out += 16 - __builtin_popcount(highAscii);
    in += kBlock;
  }
  EncodeSteps(in, end, end, out);
  return out;
}

// For eight 16-bit lanes, the byte shuffle that keeps the lanes whose bit
// is set, in order.
struct ShuffleOfKeptLanes {
  std::array<std::array<uint8_t, 16>, 256> keep{};
  constexpr ShuffleOfKeptLanes() {
    for (unsigned kept = 0; kept < 256; ++kept) {
      size_t next = 0;
      for (uint8_t lane = 0; lane < 8; ++lane) {
        if ((kept >> lane & 1) != 0) {
          keep[kept][next++] = 2 * lane;
          keep[kept][next++] = 2 * lane + 1;
        }
      }
      while (next < 16)
        keep[kept][next++] = 0x80; // a zero byte, written past the end
    }
  }
};
constexpr ShuffleOfKeptLanes kKeptLanes;

// The bits of the bytes whose bits under `mask` are `value`.
__attribute__((target("avx2"), always_inline)) inline unsigned BytesWhere(__m128i bytes, int mask,
                                                                          int value) {
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(bytes, _mm_set1_epi8(static_cast<char>(mask))),
                                       _mm_set1_epi8(static_cast<char>(value)))));
}

// Sixteen bytes from `in` (which has at least seventeen) when they hold only
// ASCII and well-formed two-byte sequences: writes their units and returns
// how many bytes it took, fifteen when the last one starts a sequence. Takes
// nothing from any other block, which the steps then read.
__attribute__((target("avx2"))) size_t DecodeTwoByteBlock(const unsigned char* in, char16_t*& out) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i below3Bytes = _mm_set1_epi8(static_cast<char>(0xDF));
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(bytes, below3Bytes), below3Bytes)) != 0xFFFF)
    return 0;
  const unsigned leads = BytesWhere(bytes, 0xE0, 0xC0);
  const unsigned continuations = BytesWhere(bytes, 0xC0, 0x80);
  const unsigned overlongLeads = BytesWhere(bytes, 0xFE, 0xC0);
  if (overlongLeads != 0 || continuations != ((leads << 1) & 0xFFFF))
    return 0;
  const bool lastStartsSequence = (leads >> 15) != 0;
  const unsigned kept = ~continuations & (lastStartsSequence ? 0x7FFF : 0xFFFF);

  const __m256i lead = _mm256_cvtepu8_epi16(bytes);
  const __m256i next =
      _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 1)));
  const __m256i twoByte =
      _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(lead, _mm256_set1_epi16(0x1F)), 6),
                      _mm256_and_si256(next, _mm256_set1_epi16(0x3F)));
  const __m256i ascii = _mm256_cmpgt_epi16(_mm256_set1_epi16(0x80), lead);
  const __m256i units = _mm256_blendv_epi8(twoByte, lead, ascii);
  const unsigned lowKept = kept & 0xFF, highKept = kept >> 8;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_shuffle_epi8(_mm256_castsi256_si128(units),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                        kKeptLanes.keep[lowKept].data()))));
  out += __builtin_popcount(lowKept);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_shuffle_epi8(_mm256_extracti128_si256(units, 1),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                        kKeptLanes.keep[highKept].data()))));
  out += __builtin_popcount(highKept);
  return lastStartsSequence ? 15 : 16;
}

__attribute__((target("avx2"))) char16_t* DecodeAvx2(const unsigned char* in,
                                                     const unsigned char* end, char16_t* out) {
  // Thirty-two bytes at a time while they are ASCII, else sixteen while they
  // are one- and two-byte sequences, else one sequence at a time. The margin
  // of one byte lets a block look at the byte after it.
  constexpr size_t kBlock = 32, kTwoByteBlock = 16;
  while (end - in > static_cast<ptrdiff_t>(kBlock)) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    if (_mm256_movemask_epi8(bytes) == 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                          _mm256_cvtepu8_epi16(_mm256_castsi256_si128(bytes)));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 16),
                          _mm256_cvtepu8_epi16(_mm256_extracti128_si256(bytes, 1)));
      in += kBlock;
      out += kBlock;
    } else if (const size_t taken = DecodeTwoByteBlock(in, out); taken != 0) {
      in += taken;
    } else {
      in = DecodeSteps(in, in + kTwoByteBlock, end, out);
    }
  }
  DecodeSteps(in, end, end, out);
  return out;
}

#endif

} // namespace

char* EncodeUtf8(VectorPath path, const char16_t* in, size_t count, char* out) {
  const char16_t* end = in + count;
#if TELLAVO_VECTOR_X86
  if (path == VectorPath::Avx2)
    return EncodeAvx2(in, end, out);
  if (path == VectorPath::Sse2)
    return EncodeSse2(in, end, out);
#else
  (void)path;
#endif
  EncodeSteps(in, end, end, out);
  return out;
}

char16_t* DecodeUtf8(VectorPath path, const char* in, size_t count, char16_t* out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(in);
  const unsigned char* end = bytes + count;
#if TELLAVO_VECTOR_X86
  if (path == VectorPath::Avx2)
    return DecodeAvx2(bytes, end, out);
  if (path == VectorPath::Sse2)
    return DecodeSse2(bytes, end, out);
#else
  (void)path;
#endif
  DecodeSteps(bytes, end, end, out);
  return out;
}

} // namespace tellavo
