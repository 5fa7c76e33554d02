#include <gtest/gtest.h>

#include "gateway/FoldText.h"
#include "gateway/RequestDocuments.h"

using namespace tellavo;

namespace {

const std::u16string kDeclaration = u"<?xml version=\"1.0\" encoding=\"utf-8\" ?>";

std::u16string Send(SendDocumentKind kind, const SendArguments& arguments,
                    const TStringList& numbers, const TStringList& texts) {
  return BuildSendDocument(kind, arguments, TBasketLists{numbers, texts});
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
