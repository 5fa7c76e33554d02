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
    EXPECT_TRUE(e.Message().starts_with(u"External entities are not allowed\r\nLine: 2\r\n"))
        << Utf16ToUtf8(e.Message());
  }
}

TEST(XMLSecurity, InternalEntitiesAreSubstitutedButExpansionIsBounded) {
  TXMLDocument document;
  document.SetXML(u"<!DOCTYPE r [<!ENTITY co \"Tellavo &amp; Co\">]><r>&co;</r>");
  document.SetActive(true);
  EXPECT_EQ(document.DocumentElement().Text(), u"Tellavo & Co");

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
