#include <gtest/gtest.h>

#include <optional>

#include "gateway/MessageBasket.h"

using namespace tellavo;

namespace {

struct Snapshot {
  TStringList numbers, texts;
};

std::optional<Snapshot> Short(const TMessageBasket& basket) {
  std::optional<Snapshot> result;
  basket.ReadShort([&](const TBasketLists* lists) {
    if (lists != nullptr)
      result = Snapshot{lists->Numbers, lists->Texts};
  });
  return result;
}

std::optional<Snapshot> Long(const TMessageBasket& basket) {
  std::optional<Snapshot> result;
  basket.ReadLong([&](const TBasketLists* lists) {
    if (lists != nullptr)
      result = Snapshot{lists->Numbers, lists->Texts};
  });
  return result;
}

} // namespace

TEST(MessageBasket, AbsentUntilTheFirstMessageWhateverItsLength) {
  TMessageBasket basket;
  EXPECT_FALSE(Short(basket));
  EXPECT_FALSE(Long(basket));
  basket.Clear();
  EXPECT_FALSE(Short(basket)) << "clearing an absent basket creates nothing";

  basket.Add(std::u16string(700, u'x'), u"1"); // dropped, but the lists now exist
  ASSERT_TRUE(Short(basket));
  ASSERT_TRUE(Long(basket));
  EXPECT_TRUE(Short(basket)->numbers.empty());
  EXPECT_TRUE(Long(basket)->numbers.empty());
}

TEST(MessageBasket, LengthBoundsInUtf16Units) {
  TMessageBasket basket;
  basket.Add(std::u16string(160, u'a'), u"160");
  basket.Add(std::u16string(161, u'a'), u"161");
  basket.Add(std::u16string(612, u'a'), u"612");
  basket.Add(std::u16string(613, u'a'), u"613");
  basket.Add(u"", u"empty");
  // 80 characters outside the BMP are 160 units: still short; one more unit is long.
  std::u16string astral;
  for (int i = 0; i < 80; ++i)
    astral += u"\U0001F600";
  basket.Add(astral, u"astral160");
  basket.Add(astral + u"a", u"astral161");

  EXPECT_EQ(Short(basket)->numbers, (TStringList{u"160", u"empty", u"astral160"}));
  EXPECT_EQ(Long(basket)->numbers, (TStringList{u"161", u"612", u"astral161"}));
  EXPECT_EQ(Short(basket)->texts[2], astral);
}

TEST(MessageBasket, KeepsOrderDuplicatesAndExactTexts) {
  TMessageBasket basket;
  basket.Add(u" Şeker & <Çay> ", u" 555 ");
  basket.Add(u"Selam", u" 555 ");
  const auto lists = Short(basket);
  EXPECT_EQ(lists->numbers, (TStringList{u" 555 ", u" 555 "}));
  EXPECT_EQ(lists->texts, (TStringList{u" Şeker & <Çay> ", u"Selam"}));
}

TEST(MessageBasket, ClearEmptiesBothBasketsButKeepsThem) {
  TMessageBasket basket;
  basket.Add(u"short", u"1");
  basket.Add(std::u16string(200, u'l'), u"2");
  basket.Clear();
  ASSERT_TRUE(Short(basket));
  EXPECT_TRUE(Short(basket)->numbers.empty());
  EXPECT_TRUE(Short(basket)->texts.empty());
  EXPECT_TRUE(Long(basket)->numbers.empty());
  basket.Add(u"again", u"3");
  EXPECT_EQ(Short(basket)->numbers, TStringList{u"3"});
}

TEST(MessageBasket, ProcessWideInstanceIsShared) {
  EXPECT_EQ(&TMessageBasket::Instance(), &TMessageBasket::Instance());
}
