#include <gtest/gtest.h>

#include "common/Utf.h"

using tellavo::Utf16ToUtf8;
using tellavo::Utf8ToUtf16;

TEST(Utf, RoundTripsTurkishAndAstralText) {
  const std::u16string text = u"Şeker ğüİıç \U0001F600";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf16ToUtf8(u"\u015E"), "\xC5\x9E");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(Utf, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");         // truncated sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD"); // overlong lead byte
  EXPECT_EQ(Utf8ToUtf16("\xE0\x80\xAF"), u"\uFFFD");   // overlong three-byte form
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");   // encoded surrogate
  EXPECT_EQ(Utf8ToUtf16("\xF5\x80"), u"\uFFFD\uFFFD"); // beyond U+10FFFF
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82x"), u"\uFFFDx");     // broken in the middle
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800') + u"a"), "\xEF\xBF\xBD"
                                                              "a");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xDC00')), "\xEF\xBF\xBD");
}
