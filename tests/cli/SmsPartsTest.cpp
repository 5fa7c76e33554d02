// The SMS a text takes, at each bound of both encodings, and the text as the
// gateway reads it after folding.
#include <gtest/gtest.h>

#include <string>

#include "tools/tellavo/SendPreview.h"
#include "tools/tellavo/SmsParts.h"

namespace tellavo::cli {
namespace {

std::u16string Repeat(std::u16string_view piece, size_t times) {
  std::u16string text;
  for (size_t i = 0; i < times; ++i)
    text += piece;
  return text;
}

void ExpectCount(std::u16string_view text, SmsEncoding encoding, size_t units, size_t parts) {
  const SmsCount count = CountSms(text);
  EXPECT_EQ(count.encoding, encoding) << text.size() << " units";
  EXPECT_EQ(count.units, units) << text.size() << " units";
  EXPECT_EQ(count.parts, parts) << text.size() << " units";
}

TEST(SmsParts, Gsm7TakesOneSmsUpTo160SeptetsThen153EachPart) {
  ExpectCount(u"", SmsEncoding::Gsm7, 0, 1);
  for (const auto& [length, parts] : {std::pair<size_t, size_t>{160, 1},
                                      {161, 2},
                                      {306, 2},
                                      {307, 3},
                                      {459, 3},
                                      {460, 4},
                                      {612, 4},
                                      {613, 5}})
    ExpectCount(Repeat(u"a", length), SmsEncoding::Gsm7, length, parts);
}

TEST(SmsParts, ExtensionTableCharactersTakeTwoSeptetsAndAreNeverSplit) {
  for (const char16_t c : std::u16string_view(u"\f^{}\\[~]|€"))
    EXPECT_EQ(GsmSeptets(c), 2u) << int(c);
  ExpectCount(Repeat(u"€", 80), SmsEncoding::Gsm7, 160, 1);
  ExpectCount(Repeat(u"€", 80) + u"a", SmsEncoding::Gsm7, 161, 2);
  // 306 septets fit two parts only if the escape and its character could
  // stand in different parts: the euro sign moves whole into the second.
  const std::u16string straddling = Repeat(u"a", 152) + u"€" + Repeat(u"a", 152);
  ExpectCount(straddling, SmsEncoding::Gsm7, 306, 3);
  ExpectCount(Repeat(u"a", 151) + u"€" + Repeat(u"a", 153), SmsEncoding::Gsm7, 306, 2);
}

TEST(SmsParts, DefaultAlphabetHoldsItsOwnLettersOnly) {
  for (const char16_t c : std::u16string_view(u"@£$¥èéùìòÇ\n\rØøÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ¤¡ÄÖÑÜ§¿äöñüà"))
    EXPECT_EQ(GsmSeptets(c), 1u) << int(c);
  // The escape itself, letters close to the alphabet's (ç, which folding
  // turns into c; the â ê î û of Turkish loanwords), and the rest.
  for (const char16_t c : std::u16string_view(u"\x1B`çâêîûÀÈЖ\x01"))
    EXPECT_EQ(GsmSeptets(c), 0u) << int(c);
  // Counting takes the text as it is: folding comes before.
  ExpectCount(u"Çay Öğle", SmsEncoding::Ucs2, 8, 1);
  ExpectCount(u"Çay Ögle", SmsEncoding::Gsm7, 8, 1);
}

TEST(SmsParts, Ucs2TakesOneSmsUpTo70UnitsThen67EachPart) {
  for (const auto& [length, parts] : {std::pair<size_t, size_t>{70, 1},
                                      {71, 2},
                                      {134, 2},
                                      {135, 3},
                                      {160, 3},
                                      {161, 3},
                                      {612, 10},
                                      {613, 10}})
    ExpectCount(Repeat(u"ж", length), SmsEncoding::Ucs2, length, parts);
}

TEST(SmsParts, EmojiTakeTwoUnitsAndTheirPairIsNeverSplit) {
  ExpectCount(Repeat(u"😀", 35), SmsEncoding::Ucs2, 70, 1);
  ExpectCount(Repeat(u"😀", 35) + u"a", SmsEncoding::Ucs2, 71, 2);
  const std::u16string straddling = Repeat(u"ж", 66) + u"😀" + Repeat(u"ж", 66);
  ExpectCount(straddling, SmsEncoding::Ucs2, 134, 3);
}

TEST(ReceivedText, TurkishLettersAreFoldedAndMarkupReadsBackAsWritten) {
  EXPECT_EQ(ReceivedText(u"Şeker & Çay <1>"), u"Seker & Çay <1>");
  EXPECT_EQ(ReceivedText(u"ŞşĞğİıç ÇÖöÜü"), u"SsGgIic ÇÖöÜü");
  // A text that already holds an entity keeps it: folding escapes its &.
  EXPECT_EQ(ReceivedText(u"&amp; &lt;&&>>"), u"&amp; &lt;&&>>");
  EXPECT_EQ(ReceivedText(u"😀 {€}"), u"😀 {€}");
}

} // namespace
} // namespace tellavo::cli
