#include <gtest/gtest.h>

#include <random>
#include <string>

#include "gateway/FoldText.h"

using namespace tellavo;

namespace {

// Folding as ten replacements, each over the whole result of the one before:
// the plainest statement of what every path must give.
std::u16string ReferenceFold(std::u16string text) {
  const std::u16string_view steps[][2] = {
      {u"Ş", u"S"}, {u"ş", u"s"}, {u"Ğ", u"G"},     {u"ğ", u"g"},    {u"İ", u"I"},
      {u"ç", u"c"}, {u"ı", u"i"}, {u"&", u"&amp;"}, {u"<", u"&lt;"}, {u">", u"&gt;"}};
  for (const auto& [from, to] : steps) {
    for (size_t at = text.find(from); at != std::u16string::npos;
         at = text.find(from, at + to.size()))
      text.replace(at, from.size(), to);
  }
  return text;
}

std::u16string Fold(VectorPath path, std::u16string_view text) {
  std::u16string out(text.size() * kMostFoldedUnits, u'\0');
  out.resize(FoldSlice(path, text.data(), text.size(), out.data()) - out.data());
  return out;
}

// The letters folding changes, their neighbours in the code chart that it
// must leave alone, the markup characters, and a surrogate pair.
constexpr char16_t kInteresting[] = {
    u'Ş',   u'ş',   u'Ğ',   u'ğ',   u'İ',   u'ı',   u'ç',   u'Ç',   u'Ö',   u'ö',   u'Ü',
    u'ü',   u'&',   u'<',   u'>',   u'"',   u'\'',  0x015C, 0x0160, 0x011C, 0x0120, 0x012E,
    0x0132, 0x00E6, 0x00E8, 0x01E7, 0xD83D, 0xDE00, u'S',   u'G',   u'I',   u'c',   0};

std::u16string RandomText(std::mt19937& random, size_t length, int density) {
  std::u16string text(length, u'a');
  for (char16_t& unit : text)
    if (static_cast<int>(random() % 100) < density)
      unit = kInteresting[random() % std::size(kInteresting)];
  return text;
}

} // namespace

TEST(FoldText, EveryPathOfThisProcessorMatchesTheReferenceAtEveryLength) {
  std::mt19937 random(9);
  for (VectorPath path : VectorPathsOfThisProcessor()) {
    SCOPED_TRACE(static_cast<int>(path));
    for (size_t length = 0; length <= 80; ++length) {
      for (int density : {0, 5, 30, 100}) {
        const std::u16string text = RandomText(random, length, density);
        ASSERT_EQ(Fold(path, text), ReferenceFold(text)) << length << " units";
      }
    }
  }
}

TEST(FoldText, LongTextsWithMarkupMatchTheReferenceAcrossSlices) {
  std::mt19937 random(99);
  for (int density : {0, 1, 10, 60}) {
    const std::u16string text = RandomText(random, 5000 + random() % 100, density);
    EXPECT_EQ(FoldText(text), ReferenceFold(text)) << density;
    std::u16string appended = u"<TM>";
    AppendFolded(appended, text);
    EXPECT_EQ(appended, u"<TM>" + ReferenceFold(text));
    EXPECT_EQ(FoldedLength(text), ReferenceFold(text).size());
  }
}
