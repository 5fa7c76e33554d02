// Input that a hostile or careless peer may send: it either loads and comes
// back out as XML that loads again, or is refused with EDOMParseError, and
// nothing is written to the host's streams.
#include <gtest/gtest.h>

#include <string>

#include "LoadedDocument.h"
#include "common/Exceptions.h"
#include "common/Utf.h"
#include "support/Wine.h"
#include "xml/XMLDoc.h"

#ifndef _WIN32
#include <unistd.h>

#include <cstdio>
#endif

using namespace tellavo;

namespace {

using test::Loaded;

std::u16string ParseErrorOf(std::u16string_view text) {
  TXMLDocument document;
  document.SetXML(text);
  try {
    document.SetActive(true);
  } catch (const EDOMParseError& e) {
    return e.Message();
  }
  ADD_FAILURE() << "the document loaded";
  return {};
}

// `count` empty elements inside one root: count + 1 nodes.
std::u16string Elements(size_t count) {
  std::u16string text = u"<r>";
  text.reserve(4 * count + 8);
  for (size_t i = 0; i < count; ++i)
    text += u"<a/>";
  return text + u"</r>";
}

} // namespace

TEST(XMLHostileInput, NamespaceUrisAreEscapedWhenWritten) {
  const std::u16string uri = u"http://h/?a=1&b=2";
  TXMLDocument document = Loaded(u"<r xmlns:p=\"http://h/?a=1&amp;b=2\"><p:a/></r>");
  ASSERT_EQ(document.DocumentElement().ChildNodes()[0].NamespaceURI(), uri);
  if (test::RunningUnderWine())
    GTEST_SKIP() << "Wine's DOM writes a namespace name between the quotes as it is, unescaped";
  const std::u16string node = document.DocumentElement().XML();
  EXPECT_EQ(node.find(u"1&b"), std::u16string::npos) << Utf16ToUtf8(node);
  for (const std::u16string& written : {node, document.SaveToXML()}) {
    TXMLDocument again = Loaded(written);
    EXPECT_EQ(again.DocumentElement().ChildNodes()[0].NamespaceURI(), uri) << Utf16ToUtf8(written);
  }

  // A namespace given to a new element is written escaped as well.
  TXMLDocument built = Loaded(u"<r/>");
  built.DocumentElement().AddChild(u"x", uri, true);
  TXMLDocument again = Loaded(built.SaveToXML());
  EXPECT_EQ(again.DocumentElement().ChildNodes()[0].NamespaceURI(), uri);
}

TEST(XMLHostileInput, ALeadingStylesheetInstructionIsNotTheDeclaration) {
  TXMLDocument document = Loaded(u"<?xml-stylesheet href=\"a.xsl\"?><r/>");
  EXPECT_EQ(document.Version(), u"");
  const TXMLNode first = document.Node().ChildNodes()[0];
  EXPECT_EQ(first.NodeName(), u"xml-stylesheet");
  const std::u16string saved = document.SaveToXML();
  EXPECT_EQ(saved.find(u"<?xml "), std::u16string::npos) << Utf16ToUtf8(saved);
  EXPECT_EQ(Loaded(saved).Node().ChildNodes().Count(), 2);

  // Setting a declaration value puts a real declaration before it.
  document.SetVersion(u"1.0");
  EXPECT_EQ(document.Version(), u"1.0");
  TXMLDocument again = Loaded(document.SaveToXML());
  EXPECT_EQ(again.Version(), u"1.0");
  EXPECT_EQ(again.Node().ChildNodes()[1].NodeName(), u"xml-stylesheet");
}

TEST(XMLHostileInput, DocumentsWithMoreNodesThanTheLimitAreRefused) {
  constexpr size_t kLimit = TELLAVO_MAX_DOCUMENT_NODES;
  // The root and its children are exactly the limit: it loads.
  EXPECT_EQ(Loaded(Elements(kLimit - 1)).DocumentElement().ChildNodes().Count(),
            static_cast<int>(kLimit - 1));
  const std::u16string message = ParseErrorOf(Elements(kLimit));
  EXPECT_NE(message.find(Utf8ToUtf16(std::to_string(kLimit))), std::u16string::npos)
      << Utf16ToUtf8(message);
  // Attributes are nodes too.
  EXPECT_FALSE(ParseErrorOf(u"<r b=\"1\">" + Elements(kLimit - 1) + u"</r>").empty());
}

// A text longer than the parser takes in one node is refused, never cut.
TEST(XMLHostileInput, ATextIsLoadedWholeOrRefused) {
  if (test::RunningUnderWine())
    GTEST_SKIP() << "Wine's DOM cuts a text of over ten million characters at that length and "
                    "reports success; Windows' DOM loads it whole";
  constexpr size_t kPieces = 2'000'001;
  constexpr size_t kLength = 5 * kPieces;
  std::string bytes = "<r>";
  bytes.reserve(8 * kPieces + 8);
  for (size_t i = 0; i < kPieces; ++i)
    bytes += "abcd&lt;";
  bytes += "</r>";
  TXMLDocument document;
  try {
    document.LoadFromStream(bytes);
  } catch (const EDOMParseError& e) {
    EXPECT_NE(e.Message().find(u"text"), std::u16string::npos) << Utf16ToUtf8(e.Message());
    EXPECT_FALSE(document.Active());
    return;
  }
  const std::u16string text = document.DocumentElement().Text();
  EXPECT_EQ(text.size(), kLength);
  EXPECT_EQ(text.substr(kLength - 5), u"abcd<");
}

#ifndef _WIN32
namespace {

// What the process writes to its standard error while `action` runs.
template <class Action> std::string StandardErrorOf(Action&& action) {
  std::fflush(stderr);
  FILE* capture = std::tmpfile();
  const int saved = dup(STDERR_FILENO);
  dup2(fileno(capture), STDERR_FILENO);
  action();
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  std::string written;
  std::rewind(capture);
  for (int c; (c = std::fgetc(capture)) != EOF;)
    written += static_cast<char>(c);
  std::fclose(capture);
  return written;
}

} // namespace

// Encoding failures that the parser reports outside its parse context end in
// the parse error's message, not on the host's standard error.
TEST(XMLHostileInput, EncodingFailuresGoIntoTheMessageNotToStandardError) {
  using namespace std::string_literals;
  const std::string loneSurrogate = "\xFF\xFE<\0r\0>\0\x00\xD8<\0/\0r\0>\0"s;
  const std::string ebcdic = "<?xml version=\"1.0\" encoding=\"EBCDIC-US\"?><r>\x80</r>";
  for (const std::string& bytes : {loneSurrogate, ebcdic}) {
    std::u16string message;
    const std::string written = StandardErrorOf([&] {
      TXMLDocument document;
      try {
        document.LoadFromStream(bytes);
      } catch (const EDOMParseError& e) {
        message = e.Message();
      }
    });
    EXPECT_EQ(written, "");
    EXPECT_NE(message.find(u"conversion failed"), std::u16string::npos) << Utf16ToUtf8(message);
  }
}
#endif
