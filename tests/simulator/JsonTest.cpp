#include <gtest/gtest.h>

#include <stdexcept>

#include "support/Json.h"

using tellavo::test::JsonQuote;
using tellavo::test::ParseJson;

TEST(Json, ReadsNestedValuesInOrder) {
  const auto v = ParseJson(R"( {"a": [1, -2.5e1, true, null], "b": {"c": "d"}, "e": false} )");
  ASSERT_EQ(v.members.size(), 3u);
  EXPECT_EQ(v.members[0].first, "a");
  EXPECT_EQ(v["a"].Array().at(0).Integer(), 1);
  EXPECT_DOUBLE_EQ(v["a"].Array().at(1).number, -25.0);
  EXPECT_TRUE(v["a"].Array().at(2).Bool());
  EXPECT_TRUE(v["a"].Array().at(3).IsNull());
  EXPECT_EQ(v["b"]["c"].String(), "d");
  EXPECT_FALSE(v["e"].Bool());
  EXPECT_EQ(v.Find("missing"), nullptr);
  EXPECT_THROW(v["missing"], std::runtime_error);
  EXPECT_THROW(v["e"].String(), std::runtime_error);
}

TEST(Json, DecodesEscapesToUtf8) {
  EXPECT_EQ(ParseJson(R"("q\"b\\s\/n\nr\rt\tu\u00e7")").String(), "q\"b\\s/n\nr\rt\tu\xC3\xA7");
  // A surrogate pair is one code point; a lone surrogate becomes U+FFFD.
  EXPECT_EQ(ParseJson(R"("\ud83d\ude00")").String(), "\xF0\x9F\x98\x80");
  EXPECT_EQ(ParseJson(R"("\ud83dx")").String(), "\xEF\xBF\xBDx");
  EXPECT_EQ(ParseJson("\"\xC5\x9E\"").String(), "\xC5\x9E");
}

TEST(Json, RejectsMalformedText) {
  for (const char* bad : {"", "{", "[1,]", "{\"a\" 1}", "\"open", "\"tab\there\"", "tru", "1 2",
                          "\"\\x\"", "-", "1.", "{\"a\":1,}"})
    EXPECT_THROW(ParseJson(bad), std::runtime_error) << bad;
  EXPECT_THROW(ParseJson(std::string(1000, '[') + std::string(1000, ']')), std::runtime_error);
}

TEST(Json, QuotedTextReadsBackUnchanged) {
  const std::string text = "a\"b\\c\r\n\x01\xC3\xA7";
  EXPECT_EQ(ParseJson(JsonQuote(text)).String(), text);
}
