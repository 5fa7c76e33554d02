#include <gtest/gtest.h>

#include "common/Exceptions.h"
#include "gateway/FoldText.h"
#include "gateway/RequestDocuments.h"

using namespace tellavo;

namespace {

const std::u16string kDeclaration = u"<?xml version=\"1.0\" encoding=\"utf-8\" ?>";

std::u16string Send(SendDocumentKind kind, const SendArguments& arguments,
                    const TStringList& numbers, const TStringList& texts) {
  return BuildSendDocument(kind, arguments, TBasketLists{numbers, texts});
}

template <class Build> std::u16string RefusalOf(Build&& build) {
  try {
    build();
  } catch (const EXMLDocError& e) {
    return e.Message();
  }
  ADD_FAILURE() << "the document was built";
  return {};
}

} // namespace

TEST(RequestDocuments, QueryDocumentsCharacterByCharacter) {
  EXPECT_EQ(BuildGetOriginatorsDocument(u"ali", u"", u"7"),
            kDeclaration + u"<GETORIGINATORS><USERNAME>ali</USERNAME><PASSWORD></PASSWORD>"
                           u"<VENDOR_ID>7</VENDOR_ID></GETORIGINATORS>");
  EXPECT_EQ(BuildGetStatusDocument(u"u", u"p", u"12345", u"7"),
            kDeclaration + u"<GETSTATUS><USERNAME>u</USERNAME><PASSWORD>p</PASSWORD>"
                           u"<VENDOR_ID>7</VENDOR_ID><MSGID>12345</MSGID></GETSTATUS>");
  EXPECT_EQ(BuildReport2DateDocument(u"u", u"p", u"01.12.2026 00:00", u"07.12.2026", u"7"),
            kDeclaration + u"<REPORT2DATE><USERNAME>u</USERNAME><PASSWORD>p</PASSWORD>"
                           u"<VENDOR_ID>7</VENDOR_ID><DATE1>01.12.2026 00:00</DATE1>"
                           u"<DATE2>07.12.2026</DATE2></REPORT2DATE>");
}

TEST(RequestDocuments, SendDocumentsPairNumbersAndFoldedTextsInOneTm) {
  const SendArguments arguments{u"u", u"p", u"TELLAVO", u"", u"7"};
  const std::u16string body =
      u"<USERNAME>u</USERNAME><PASSWORD>p</PASSWORD><VENDOR_ID>7</VENDOR_ID><SDATE></SDATE>"
      u"<VP>1710</VP><SENDER>TELLAVO</SENDER><TM_LIST><TM><DST_MSISDN_LIST>"
      u"<DST_MSISDN>5550000001</DST_MSISDN><DST_MSISDN>5550000002</DST_MSISDN>"
      u"</DST_MSISDN_LIST><CONTENT_LIST><CONTENT><CONTENT_TEXT>Merhaba</CONTENT_TEXT></CONTENT>"
      u"<CONTENT><CONTENT_TEXT>Selam &amp; Sag</CONTENT_TEXT></CONTENT></CONTENT_LIST></TM>"
      u"</TM_LIST>";
  const TStringList numbers{u"5550000001", u"5550000002"};
  const TStringList texts{u"Merhaba", u"Selam & Sağ"};
  EXPECT_EQ(Send(SendDocumentKind::SendSms, arguments, numbers, texts),
            kDeclaration + u"<SENDSMS>" + body + u"</SENDSMS>");
  EXPECT_EQ(Send(SendDocumentKind::SendConcat, arguments, numbers, texts),
            kDeclaration + u"<SENDCONCAT>" + body + u"</SENDCONCAT>");
}

TEST(RequestDocuments, EmptyTextAndEmptyBasketStillWriteEveryElement) {
  const SendArguments arguments{u"", u"", u"", u"", u""};
  const std::u16string one = Send(SendDocumentKind::SendSms, arguments, {u"1"}, {u""});
  EXPECT_NE(one.find(u"<CONTENT><CONTENT_TEXT></CONTENT_TEXT></CONTENT>"), std::u16string::npos);
  EXPECT_NE(one.find(u"<VP>1710</VP>"), std::u16string::npos);
  EXPECT_EQ(Send(SendDocumentKind::SendSms, arguments, {}, {}),
            kDeclaration + u"<SENDSMS><USERNAME></USERNAME><PASSWORD></PASSWORD><VENDOR_ID>"
                           u"</VENDOR_ID><SDATE></SDATE><VP>1710</VP><SENDER></SENDER><TM_LIST>"
                           u"<TM><DST_MSISDN_LIST></DST_MSISDN_LIST><CONTENT_LIST></CONTENT_LIST>"
                           u"</TM></TM_LIST></SENDSMS>");
}

TEST(FoldText, FoldsTurkishLettersAndEscapesMarkup) {
  EXPECT_EQ(FoldText(u"Şeker & Çay <1>"), u"Seker &amp; Çay &lt;1&gt;");
  EXPECT_EQ(FoldText(u"ŞşĞğİçı"), u"SsGgIci");
  EXPECT_EQ(FoldText(u"ÇÖöÜü\"'"), u"ÇÖöÜü\"'");
  EXPECT_EQ(FoldText(u"&&<<>>"), u"&amp;&amp;&lt;&lt;&gt;&gt;");
  EXPECT_EQ(FoldText(u"&amp;"), u"&amp;amp;") << "message texts are escaped unconditionally";
  EXPECT_EQ(FoldText(u""), u"");
  EXPECT_EQ(FoldText(u"\U0001F600ı"), u"\U0001F600i");
}

TEST(FoldText, MatchesAPerCharacterMappingOnLongMixedText) {
  std::u16string text, expected;
  const std::u16string pieces[] = {u"Ş", u"ğ", u"a", u"&", u"<", u">", u"İ", u"ı", u"ç", u"Ç"};
  const std::u16string folded[] = {u"S",    u"g", u"a", u"&amp;", u"&lt;",
                                   u"&gt;", u"I", u"i", u"c",     u"Ç"};
  for (int i = 0; i < 5000; ++i) {
    text += pieces[(i * 7) % 10];
    expected += folded[(i * 7) % 10];
  }
  EXPECT_EQ(FoldText(text), expected);
}

TEST(EscapeValue, ValuesCannotBreakOrInjectMarkup) {
  EXPECT_EQ(EscapeValue(u"pa<ss>&word"), u"pa&lt;ss&gt;&amp;word");
  EXPECT_EQ(EscapeValue(u"</PASSWORD><VENDOR_ID>1"), u"&lt;/PASSWORD&gt;&lt;VENDOR_ID&gt;1");
  EXPECT_EQ(EscapeValue(u"Şeker"), u"Şeker") << "values are not folded";
  EXPECT_EQ(EscapeValue(u"a\"b'c"), u"a\"b'c");
}

TEST(EscapeValue, WellFormedReferencesPassUnchanged) {
  EXPECT_EQ(EscapeValue(u"&amp;&lt;&gt;&quot;&apos;"), u"&amp;&lt;&gt;&quot;&apos;");
  EXPECT_EQ(EscapeValue(u"&#38;&#x3C;&#X3C;"), u"&#38;&#x3C;&amp;#X3C;");
  EXPECT_EQ(EscapeValue(u"&#1114111;&#x10FFFF;"), u"&#1114111;&#x10FFFF;");
}

TEST(EscapeValue, MalformedReferencesAreEscaped) {
  EXPECT_EQ(EscapeValue(u"&"), u"&amp;");
  EXPECT_EQ(EscapeValue(u"&amp"), u"&amp;amp");
  EXPECT_EQ(EscapeValue(u"&nbsp;"), u"&amp;nbsp;");
  EXPECT_EQ(EscapeValue(u"&#;&#x;&#12"), u"&amp;#;&amp;#x;&amp;#12");
  EXPECT_EQ(EscapeValue(u"&#0;&#x1;&#xD800;&#1114112;"),
            u"&amp;#0;&amp;#x1;&amp;#xD800;&amp;#1114112;");
  EXPECT_EQ(EscapeValue(u"&#99999999999999999999;"), u"&amp;#99999999999999999999;");
  EXPECT_EQ(EscapeValue(u"&#1a;"), u"&amp;#1a;");
}

TEST(RequestDocuments, EveryValueIsEscapedExceptFoldedTexts) {
  const std::u16string evil = u"x</USERNAME><ADMIN>1</ADMIN>&";
  const std::u16string escaped = u"x&lt;/USERNAME&gt;&lt;ADMIN&gt;1&lt;/ADMIN&gt;&amp;";
  const std::u16string doc = BuildGetOriginatorsDocument(evil, evil, evil);
  EXPECT_EQ(doc, kDeclaration + u"<GETORIGINATORS><USERNAME>" + escaped + u"</USERNAME><PASSWORD>" +
                     escaped + u"</PASSWORD><VENDOR_ID>" + escaped +
                     u"</VENDOR_ID></GETORIGINATORS>");
  const SendArguments arguments{evil, evil, evil, evil, evil};
  const std::u16string send = Send(SendDocumentKind::SendConcat, arguments, {evil}, {u"a&amp;b"});
  EXPECT_EQ(send.find(u"<ADMIN>"), std::u16string::npos);
  EXPECT_NE(send.find(u"<SDATE>" + escaped + u"</SDATE>"), std::u16string::npos);
  EXPECT_NE(send.find(u"<SENDER>" + escaped + u"</SENDER>"), std::u16string::npos);
  EXPECT_NE(send.find(u"<DST_MSISDN>" + escaped + u"</DST_MSISDN>"), std::u16string::npos);
  EXPECT_NE(send.find(u"<CONTENT_TEXT>a&amp;amp;b</CONTENT_TEXT>"), std::u16string::npos);
}

// A character that XML 1.0 cannot carry would cut the envelope short (NUL) or
// make the gateway refuse it: no document is built, and the refusal names
// the value, the character's position (from 1) and its code.
TEST(RequestDocuments, ValuesXmlCannotCarryAreRefusedByNameAndPosition) {
  using namespace std::string_literals;
  EXPECT_EQ(RefusalOf([] { BuildGetOriginatorsDocument(u"ali", u"pa\0ss"s, u"7"); }),
            u"The request was not sent: password holds the character U+0000 at position 3, "
            u"which XML cannot carry");
  EXPECT_NE(RefusalOf([] {
              BuildGetStatusDocument(u"u", u"p", u"1\x1F", u"7");
            }).find(u"packet_id holds the character U+001F at position 2"),
            std::u16string::npos);
  EXPECT_NE(RefusalOf([] {
              BuildReport2DateDocument(u"u", u"p", u"d", u"\uFFFE", u"7");
            }).find(u"date2 holds the character U+FFFE at position 1"),
            std::u16string::npos);
  EXPECT_NE(RefusalOf([] {
              BuildGetOriginatorsDocument(u"u", u"p", u"7\xDC00");
            }).find(u"vendor_id holds the character U+DC00 at position 2"),
            std::u16string::npos);
  // A high surrogate at the end has no partner.
  EXPECT_NE(RefusalOf([] {
              BuildGetOriginatorsDocument(u"ab\xD83D", u"p", u"7");
            }).find(u"username holds the character U+D83D at position 3"),
            std::u16string::npos);

  // Tab, line feed, carriage return, pairs and the last characters below
  // the excluded ones pass.
  EXPECT_NO_THROW(BuildGetOriginatorsDocument(u"a\tb\nc\rd", u"\U0001F600\uFFFD\uD7FF", u"7"));
}

TEST(RequestDocuments, SendDocumentsNameTheArgumentOrTheMessageInTheBasket) {
  const SendArguments good{u"u", u"p", u"TELLAVO", u"", u"7"};
  EXPECT_NE(RefusalOf([&] {
              Send(SendDocumentKind::SendSms, {u"u", u"p", u"TEL\x01", u"", u"7"}, {u"1"}, {u"x"});
            }).find(u"originator holds the character U+0001 at position 4"),
            std::u16string::npos);
  EXPECT_NE(RefusalOf([&] {
              Send(SendDocumentKind::SendSms, {u"u", u"p", u"T", u"\uFFFF", u"7"}, {u"1"}, {u"x"});
            }).find(u"senddate holds the character U+FFFF at position 1"),
            std::u16string::npos);
  EXPECT_NE(
      RefusalOf([&] {
        Send(SendDocumentKind::SendConcat, good, {u"1", u"2", u"3"}, {u"ok", u"ok", u"Şe\x0Bker"});
      }).find(u"message 3 in the basket holds the character U+000B at position 3 of its text"),
      std::u16string::npos);
  EXPECT_NE(
      RefusalOf([&] {
        Send(SendDocumentKind::SendSms, good, {u"1", u"5\x02"}, {u"a", u"b"});
      }).find(u"message 2 in the basket holds the character U+0002 at position 2 of its number"),
      std::u16string::npos);
}
