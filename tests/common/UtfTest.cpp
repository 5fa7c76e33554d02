#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/FileNameText.h"
#include "common/Utf.h"
#include "common/UtfBlocks.h"

using namespace tellavo;

namespace {

// The conversions as they were before the vector paths, one character at a
// time: every path must give exactly what these give.
std::string ReferenceUtf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacementCharacter;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::u16string ReferenceUtf16(std::string_view text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80   ? 0
                      : lead < 0xC2 ? -1
                      : lead < 0xE0 ? 1
                      : lead < 0xF0 ? 2
                      : lead < 0xF5 ? 3
                                    : -1;
    if (extra < 0) {
      AppendUtf16(out, kReplacementCharacter);
      ++i;
      continue;
    }
    char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    size_t j = 1;
    for (; j <= static_cast<size_t>(extra); ++j) {
      if (i + j >= text.size())
        break;
      const auto next = static_cast<unsigned char>(text[i + j]);
      if ((next & 0xC0) != 0x80)
        break;
      c = (c << 6) | (next & 0x3F);
    }
    const bool complete = j == static_cast<size_t>(extra) + 1;
    const bool overlong = (extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000);
    const bool invalid = c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF);
    AppendUtf16(out, !complete || overlong || invalid ? kReplacementCharacter : c);
    i += j;
  }
  return out;
}

std::string Encode(VectorPath path, std::u16string_view text) {
  std::string out(3 * text.size() + kEncodeSlack, '\0');
  out.resize(EncodeUtf8(path, text.data(), text.size(), out.data()) - out.data());
  return out;
}

std::u16string Decode(VectorPath path, std::string_view text) {
  std::u16string out(text.size(), u'\0');
  out.resize(DecodeUtf8(path, text.data(), text.size(), out.data()) - out.data());
  return out;
}

// Units that exercise every branch: ASCII, two- and three-byte forms, both
// halves of surrogate pairs, and the edges between them.
constexpr char16_t kUnits[] = {u'a',   u'<',   0x7F,   0x80,   u'ş',   u'İ',
                               0x7FF,  0x800,  0x20AC, 0xD7FF, 0xD800, 0xDBFF,
                               0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFF, 0};

// Bytes that exercise every kind of UTF-8: ASCII, each lead, continuation
// bytes, and the bytes no sequence may hold.
constexpr unsigned char kBytes[] = {'a',  0x00, 0x7F, 0x80, 0xBF, 0xC0, 0xC1, 0xC2, 0xC5, 0x9F,
                                    0xDF, 0xE0, 0xE2, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF, 0xA0};

// Random texts of every length up to a few vector widths, mostly ASCII so
// that the vector blocks are taken, with units of `pool` scattered in.
template <class Text, class Pool>
std::vector<Text> RandomTexts(const Pool& pool, typename Text::value_type ascii, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<Text> texts;
  for (size_t length = 0; length <= 100; ++length) {
    for (int density : {0, 2, 8, 50}) {
      Text text(length, ascii);
      for (auto& unit : text)
        if (static_cast<int>(random() % 100) < density)
          unit = static_cast<typename Text::value_type>(pool[random() % std::size(pool)]);
      texts.push_back(text);
    }
  }
  return texts;
}

} // namespace

TEST(Utf, RoundTripsTurkishAndAstralText) {
  const std::u16string text = u"Şeker ğüİıç \U0001F600";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf16ToUtf8(u"\u015E"), "\xC5\x9E");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(Utf, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");           // truncated sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");   // overlong lead byte
  EXPECT_EQ(Utf8ToUtf16("\xE0\x80\xAF"), u"\uFFFD");     // overlong three-byte form
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");     // encoded surrogate
  EXPECT_EQ(Utf8ToUtf16("\xF5\x80"), u"\uFFFD\uFFFD");   // beyond U+10FFFF
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD"); // beyond U+10FFFF, four bytes
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82x"), u"\uFFFDx");       // broken in the middle
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800') + u"a"), "\xEF\xBF\xBD"
                                                              "a");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xDC00')), "\xEF\xBF\xBD");
}

TEST(Utf, EveryPathOfThisProcessorMatchesTheReferenceOnEveryBlockBoundary) {
  const auto texts16 = RandomTexts<std::u16string>(kUnits, u'x', 16);
  const auto texts8 = RandomTexts<std::string>(kBytes, 'x', 8);
  for (VectorPath path : VectorPathsOfThisProcessor()) {
    SCOPED_TRACE(static_cast<int>(path));
    for (const auto& text : texts16)
      ASSERT_EQ(Encode(path, text), ReferenceUtf8(text)) << text.size() << " units";
    for (const auto& text : texts8)
      ASSERT_EQ(Decode(path, text), ReferenceUtf16(text)) << text.size() << " bytes";
  }
}

TEST(Utf, EveryPathPlacesTheSpecialUnitAtEachPositionOfABlock) {
  // One unit or byte of interest at each position of a 64-unit ASCII run,
  // also where a pair or a sequence is split between two blocks.
  const std::vector<std::u16string> units = {u"ş", u"\u20AC", u"\U0001F600",
                                             std::u16string(1, char16_t(0xD800)),
                                             std::u16string(1, char16_t(0xDC00))};
  const std::vector<std::string> bytes = {"\xC5\x9F",     "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                          "\xF0\x9F\x98", "\x80",         "\xED\xA0\x80",
                                          "\xE0\x80\xAF", "\xC1\xBF",     "\xF4\x90\x80\x80"};
  for (VectorPath path : VectorPathsOfThisProcessor()) {
    SCOPED_TRACE(static_cast<int>(path));
    for (size_t at = 0; at < 64; ++at) {
      for (const auto& unit : units) {
        std::u16string text(64, u'a');
        text.insert(at, unit);
        ASSERT_EQ(Encode(path, text), ReferenceUtf8(text)) << at;
      }
      for (const auto& sequence : bytes) {
        std::string text(64, 'a');
        text.insert(at, sequence);
        ASSERT_EQ(Decode(path, text), ReferenceUtf16(text)) << at;
      }
    }
  }
}

TEST(Utf, LongTextsMatchTheReferenceAcrossTheSlicesOfAConversion) {
  // Long enough for several slices, with pairs and sequences at every
  // offset around the slice boundaries.
  std::mt19937 random(42);
  for (int round = 0; round < 40; ++round) {
    std::u16string text16(20000 + random() % 64, u'a');
    for (size_t i = 0; i < text16.size(); i += 1 + random() % 40)
      text16[i] = kUnits[random() % std::size(kUnits)];
    for (size_t i = 4090; i + 2 < text16.size() && i < 4100; ++i)
      if (random() % 2)
        text16.replace(i, 2, u"\U0001F600");
    EXPECT_EQ(Utf16ToUtf8(text16), ReferenceUtf8(text16));

    std::string text8(40000 + random() % 64, 'a');
    for (size_t i = 0; i < text8.size(); i += 1 + random() % 40)
      text8[i] = static_cast<char>(kBytes[random() % std::size(kBytes)]);
    const size_t boundary = 8192 - 4 + random() % 8;
    text8.replace(boundary, 4, "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8ToUtf16(text8), ReferenceUtf16(text8));
  }
}

TEST(Utf, EveryPathDecodesTurkishTextWithScatteredDamage) {
  // Runs of two-byte sequences, as Turkish has them, with a byte here and
  // there replaced, dropped or cut off.
  std::mt19937 random(7);
  const std::string turkish = ReferenceUtf8(u"Şöyle ağır, çığ gibi İĞÜŞÖÇ ışık; ");
  for (int round = 0; round < 300; ++round) {
    std::string text;
    while (text.size() < 200)
      text += turkish.substr(random() % turkish.size());
    for (int damage = static_cast<int>(random() % 4); damage > 0; --damage) {
      const size_t at = random() % text.size();
      if (random() % 2)
        text[at] = static_cast<char>(kBytes[random() % std::size(kBytes)]);
      else
        text.erase(at, 1);
    }
    for (VectorPath path : VectorPathsOfThisProcessor())
      ASSERT_EQ(Decode(path, text), ReferenceUtf16(text)) << static_cast<int>(path);
  }
}

TEST(Utf, AppendingKeepsWhatIsThere) {
  std::string utf8 = "ab";
  AppendUtf8(utf8, u"ç");
  EXPECT_EQ(utf8, "ab\xC3\xA7");
  std::u16string utf16 = u"ab";
  AppendUtf16(utf16, "\xC3\xA7");
  EXPECT_EQ(utf16, u"abç");
}

TEST(Utf, FileNamesKeepTheirBytesThroughUtf16) {
  // Well-formed names convert as any text does; damaged ones come back byte
  // for byte, encoded surrogates and pairs beside escaped bytes included.
  EXPECT_EQ(FileNameToUtf16("/tmp/Şöyle 😀"), u"/tmp/Şöyle 😀");
  EXPECT_EQ(FileNameToUtf16("a\xFF"), std::u16string(u"a\xDCFF"));
  // U+10080's low surrogate is in the escapes' range.
  EXPECT_EQ(Utf16ToFileName(FileNameToUtf16("\xF0\x90\x82\x80\xFF")), "\xF0\x90\x82\x80\xFF");
  EXPECT_EQ(Utf16ToFileName(u"\xD83D\xDE00\xDC80\xDC00"), "\xF0\x9F\x98\x80\x80\xEF\xBF\xBD");
  std::mt19937 random(11);
  for (int round = 0; round < 2000; ++round) {
    std::string name;
    for (size_t length = random() % 12; length > 0; --length)
      name += static_cast<char>(random() % 3 ? kBytes[random() % std::size(kBytes)] : random());
    ASSERT_EQ(Utf16ToFileName(FileNameToUtf16(name)), name);
  }
}
