#include <gtest/gtest.h>

#include <stdexcept>

#include "common/Format.h"

using tellavo::Format;

TEST(Format, FillsTextsNumbersAndHex) {
  EXPECT_EQ(Format(u"%s (%d) - '%s'", {u"Not Found", 404, u"https://h/p"}),
            u"Not Found (404) - 'https://h/p'");
  EXPECT_EQ(Format(u"OLE error %.8x", {0x8002801CUL}), u"OLE error 8002801C");
  EXPECT_EQ(Format(u"OLE error %.8x", {0x1CUL}), u"OLE error 0000001C");
  EXPECT_EQ(Format(u"%d%%", {-5}), u"-5%");
  EXPECT_EQ(Format(u"%s%s%s: %d%s%s", {u"r", u"\r\n", u"Line", 3, u"\r\n", u"src"}),
            u"r\r\nLine: 3\r\nsrc");
}

TEST(Format, RefusesMismatchedArguments) {
  EXPECT_THROW(Format(u"%s %s", {u"one"}), std::logic_error);
  EXPECT_THROW(Format(u"%d", {u"text"}), std::logic_error);
  EXPECT_THROW(Format(u"%q", {1}), std::logic_error);
}
