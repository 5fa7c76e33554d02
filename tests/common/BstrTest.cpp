#include <gtest/gtest.h>

#include "common/Bstr.h"
#include "common/WideText.h"

using tellavo::BStr;
using tellavo::FromWide;
using tellavo::Wide;

TEST(Bstr, AllocationKeepsLengthAndEmbeddedZeros) {
  const char16_t text[] = u"ab\0cd";
  BSTR b = SysAllocStringLen(Wide(text), 5);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 5u);
  EXPECT_EQ(SysStringByteLen(b), 10u);
  EXPECT_EQ(b[5], 0);
  EXPECT_EQ(FromWide(b, 5), std::u16string(text, 5));
  SysFreeString(b);
}

TEST(Bstr, NullIsTheEmptyString) {
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  SysFreeString(nullptr);
  EXPECT_TRUE(tellavo::BstrView(nullptr).empty());
  BSTR zeroed = SysAllocStringLen(nullptr, 3);
  ASSERT_NE(zeroed, nullptr);
  EXPECT_EQ(SysStringLen(zeroed), 3u);
  EXPECT_EQ(zeroed[0], 0);
  SysFreeString(zeroed);
}

TEST(Bstr, SysAllocStringStopsAtTheTerminator) {
  BSTR b = SysAllocString(Wide(u"Merhaba"));
  EXPECT_EQ(SysStringLen(b), 7u);
  SysFreeString(b);
}

TEST(Bstr, OwnerHandsOverAndFrees) {
  BStr owned(u"metin");
  EXPECT_EQ(owned.Text(), u"metin");
  BStr moved(std::move(owned));
  EXPECT_EQ(owned.Get(), nullptr);
  BSTR raw = moved.Detach();
  EXPECT_EQ(moved.Get(), nullptr);
  BStr again = BStr::Attach(raw);
  EXPECT_EQ(again.View(), u"metin");
  *again.Out() = SysAllocString(Wide(u"x"));
  EXPECT_EQ(again.Text(), u"x");
  EXPECT_EQ(BStr(u"").Get(), nullptr);
}
