#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "common/Exceptions.h"
#include "common/Utf.h"
#include "xml/XMLDoc.h"

using namespace tellavo;

namespace {

constexpr std::u16string_view kMarker = u"SECRET-MARKER-7Q";

// Every text that a loaded document could show: its serialisation and the
// value of each node.
std::u16string EverythingIn(const TXMLNode& node) {
  std::u16string all = node.NodeValue() + node.NodeName();
  const TXMLNodeList children = node.ChildNodes();
  for (int i = 0; i < children.Count(); ++i)
    all += EverythingIn(children[i]);
  return all;
}

class LocalFile {
public:
  LocalFile(std::string path, const std::string& content) : path_(std::move(path)) {
    std::ofstream(path_) << content;
  }
  ~LocalFile() { std::remove(path_.c_str()); }
  std::u16string Path() const { return Utf8ToUtf16(path_); }

private:
  std::string path_;
};

// Loads the text; whether it fails or not, nothing of the marker may show.
void ExpectNoMarker(const std::u16string& text) {
  TXMLDocument document;
  document.SetXML(text);
  try {
    document.SetActive(true);
    EXPECT_EQ((EverythingIn(document.Node()) + document.SaveToXML()).find(kMarker),
              std::u16string::npos);
  } catch (const EDOMParseError& e) {
    EXPECT_EQ(e.Message().find(kMarker), std::u16string::npos);
  }
}

} // namespace

TEST(XMLSecurity, ExternalEntitiesAreNeverRead) {
  const std::string marker = Utf16ToUtf8(kMarker);
  const LocalFile secret(testing::TempDir() + "xml_secret.txt", marker);
  const LocalFile dtd(testing::TempDir() + "xml_secret.dtd", "<!ENTITY x \"" + marker + "\">");
  ExpectNoMarker(u"<!DOCTYPE r [<!ENTITY x SYSTEM \"file://" + secret.Path() + u"\">]><r>&x;</r>");
  ExpectNoMarker(u"<!DOCTYPE r [<!ENTITY x SYSTEM \"" + secret.Path() + u"\">]><r a=\"&x;\"/>");
  ExpectNoMarker(u"<!DOCTYPE r SYSTEM \"" + dtd.Path() + u"\"><r>&x;</r>");
  ExpectNoMarker(u"<!DOCTYPE r [<!ENTITY % p SYSTEM \"" + dtd.Path() + u"\"> %p;]><r>&x;</r>");
}

TEST(XMLSecurity, ExternalEntityDeclarationIsRefused) {
  TXMLDocument document;
  document.SetXML(u"<!DOCTYPE r [\n<!ENTITY x SYSTEM \"http://example.invalid/x\">]><r/>");
  try {
    document.SetActive(true);
    FAIL() << "accepted";
  } catch (const EDOMParseError& e) {
#ifdef _WIN32
    // On MSXML every document type declaration is refused, at its own line.
    EXPECT_EQ(e.Message(), u"DTD is prohibited\r\nLine: 1\r\n<!DOCTYPE r [");
#else
    EXPECT_TRUE(e.Message().starts_with(u"External entities are not allowed\r\nLine: 2\r\n"))
        << Utf16ToUtf8(e.Message());
#endif
  }
}

#ifdef _WIN32
TEST(XMLSecurity, DocumentTypeDeclarationIsRefusedWhereverThePrologPutsIt) {
  const auto refusal = [](auto load) -> std::u16string {
    TXMLDocument document;
    try {
      load(document);
    } catch (const EDOMParseError& e) {
      EXPECT_FALSE(document.Active());
      return e.Message();
    }
    return u"accepted";
  };
  const auto text = [](std::u16string xml) {
    return [xml](TXMLDocument& d) {
      d.SetXML(xml);
      d.SetActive(true);
    };
  };
  const auto bytes = [](std::string xml) {
    return [xml](TXMLDocument& d) { d.LoadFromStream(xml); };
  };
  EXPECT_EQ(refusal(text(u"<?xml version=\"1.0\"?>\r\n<!-- a\nb -->\r<!DOCTYPE r><r/>")),
            u"DTD is prohibited\r\nLine: 4\r\n<!DOCTYPE r><r/>");
  EXPECT_EQ(refusal(bytes("\xEF\xBB\xBF\n<!DOCTYPE r><r/>")),
            u"DTD is prohibited\r\nLine: 2\r\n<!DOCTYPE r><r/>");
  std::string utf16("\xFF\xFE");
  std::string utf16WithoutMark;
  for (char c : std::string("<?xml version=\"1.0\" encoding=\"UTF-16\"?><!DOCTYPE r><r/>"))
    utf16WithoutMark += {c, '\0'};
  EXPECT_TRUE(refusal(bytes(utf16 + utf16WithoutMark)).starts_with(u"DTD is prohibited\r\n"));
  EXPECT_TRUE(refusal(bytes(utf16WithoutMark)).starts_with(u"DTD is prohibited\r\n"));
  // The same characters as content are no declaration.
  EXPECT_EQ(refusal(text(u"<r><![CDATA[<!DOCTYPE r>]]><!--<!DOCTYPE r>--></r>")), u"accepted");
}
#endif

TEST(XMLSecurity, InternalEntitiesAreSubstitutedButExpansionIsBounded) {
  TXMLDocument document;
  document.SetXML(u"<!DOCTYPE r [<!ENTITY co \"Tellavo &amp; Co\">]><r>&co;</r>");
#ifdef _WIN32
  // MSXML refuses the document type declaration that defines the entity.
  EXPECT_THROW(document.SetActive(true), EDOMParseError);
#else
  document.SetActive(true);
  EXPECT_EQ(document.DocumentElement().Text(), u"Tellavo & Co");
#endif

  std::u16string laughs = u"<!DOCTYPE l [<!ENTITY l0 \"lol\">";
  for (int i = 1; i <= 10; ++i) {
    laughs += u"<!ENTITY l" + Utf8ToUtf16(std::to_string(i)) + u" \"";
    for (int j = 0; j < 10; ++j)
      laughs += u"&l" + Utf8ToUtf16(std::to_string(i - 1)) + u";";
    laughs += u"\">";
  }
  laughs += u"]><l>&l10;</l>";
  std::u16string quadratic =
      u"<!DOCTYPE q [<!ENTITY a \"" + std::u16string(100000, u'a') + u"\">]><q>";
  for (int i = 0; i < 50000; ++i)
    quadratic += u"&a;";
  quadratic += u"</q>";

  for (const std::u16string* text : {&laughs, &quadratic}) {
    const auto start = std::chrono::steady_clock::now();
    document.SetXML(*text);
    EXPECT_THROW(document.SetActive(true), EDOMParseError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  }
}

TEST(XMLSecurity, NestingDepthIsBounded) {
  std::u16string deep;
  for (int i = 0; i < 100000; ++i)
    deep += u"<a>";
  TXMLDocument document;
  document.SetXML(deep);
  EXPECT_THROW(document.SetActive(true), EDOMParseError);
}
