// The request documents on arbitrary values and message texts: every
// document is well-formed, and each value reads back as given (references
// that the caller escaped resolved, line ends normalised as any XML parser
// does, whitespace-only text dropped as the DOM does) and each text as
// folded. Values holding characters that XML cannot carry are refused before
// a document is built, so they are not tried here.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/Exceptions.h"
#include "common/Utf.h"
#include "gateway/RequestDocuments.h"
#include "xml/XMLDoc.h"

using namespace tellavo;

namespace {

std::u16string TakeText(FuzzedDataProvider& input) {
  const std::string bytes = input.ConsumeRandomLengthString(256);
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                    static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
  return text;
}

bool IsXmlChar(uint32_t code) {
  return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
         (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

bool CarriesInXml(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
      continue;
    }
    if (!IsXmlChar(c) || (c >= 0xD800 && c <= 0xDFFF))
      return false;
  }
  return true;
}

void AppendCode(std::u16string& out, uint32_t code) {
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
  } else {
    out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
  }
}

// The length of the reference that starts `text` and the character it
// stands for, or 0 when `text` does not start with one.
size_t Reference(std::u16string_view text, uint32_t& code) {
  static const std::pair<std::u16string_view, char16_t> kEntities[] = {
      {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}, {u"&apos;", u'\''}};
  for (const auto& [entity, c] : kEntities)
    if (text.starts_with(entity)) {
      code = c;
      return entity.size();
    }
  if (!text.starts_with(u"&#"))
    return 0;
  const bool hex = text.size() > 2 && text[2] == u'x';
  size_t i = hex ? 3 : 2;
  const size_t first = i;
  code = 0;
  for (; i < text.size() && text[i] != u';'; ++i) {
    const char16_t c = text[i];
    int digit = -1;
    if (c >= u'0' && c <= u'9')
      digit = c - u'0';
    else if (hex && c >= u'a' && c <= u'f')
      digit = c - u'a' + 10;
    else if (hex && c >= u'A' && c <= u'F')
      digit = c - u'A' + 10;
    if (digit < 0 || (code = code * (hex ? 16 : 10) + digit) > 0x10FFFF)
      return 0;
  }
  return i < text.size() && i > first && IsXmlChar(code) ? i + 1 : 0;
}

// What a parser hands back for literal text: CR LF and lone CR become LF.
void AppendLiteral(std::u16string& out, std::u16string_view text, size_t& i) {
  if (text[i] == u'\r') {
    out += u'\n';
    if (i + 1 < text.size() && text[i + 1] == u'\n')
      ++i;
  } else {
    out += text[i];
  }
}

std::u16string ValueReadBack(std::u16string_view value) {
  std::u16string out;
  for (size_t i = 0; i < value.size(); ++i) {
    uint32_t code = 0;
    if (value[i] == u'&')
      if (const size_t length = Reference(value.substr(i), code)) {
        AppendCode(out, code);
        i += length - 1;
        continue;
      }
    AppendLiteral(out, value, i);
  }
  return out;
}

char16_t Folded(char16_t c) {
  switch (c) {
  case u'Ş':
    return u'S';
  case u'ş':
    return u's';
  case u'Ğ':
    return u'G';
  case u'ğ':
    return u'g';
  case u'İ':
    return u'I';
  case u'ı':
    return u'i';
  case u'ç':
    return u'c';
  default:
    return c;
  }
}

std::u16string TextReadBack(std::u16string_view text) {
  std::u16string folded;
  for (const char16_t c : text)
    folded += Folded(c);
  std::u16string out;
  for (size_t i = 0; i < folded.size(); ++i)
    AppendLiteral(out, folded, i);
  return out;
}

[[noreturn]] void Fail(const std::string& what, const std::u16string& document) {
  std::fprintf(stderr, "%s\ndocument:\n%s\n", what.c_str(), Utf16ToUtf8(document).c_str());
  std::abort();
}

class ReadBack {
public:
  explicit ReadBack(std::u16string document) : text_(std::move(document)) {
    try {
      xml_.SetXML(text_);
      xml_.SetActive(true);
    } catch (const Exception& error) {
      Fail("not well-formed: " + Utf16ToUtf8(error.Message()), text_);
    }
  }
  TXMLNode Root() const { return xml_.DocumentElement(); }
  TXMLNode Child(const TXMLNode& parent, std::u16string_view name) const {
    const TXMLNode child = TXMLNodeList(parent).FindExisting(name);
    if (child.IsNull())
      Fail("no element " + Utf16ToUtf8(name), text_);
    return child;
  }
  // The DOM drops text that is only whitespace, as layout between elements.
  void Expect(const TXMLNode& element, std::u16string expected) const {
    if (expected.find_first_not_of(u" \t\r\n") == std::u16string::npos)
      expected.clear();
    std::u16string found;
    try {
      found = element.Text();
    } catch (const Exception& error) {
      Fail("unreadable value: " + Utf16ToUtf8(error.Message()), text_);
    }
    if (found != expected)
      Fail("read back \"" + Utf16ToUtf8(found) + "\", expected \"" + Utf16ToUtf8(expected) + "\"",
           text_);
  }
  void ExpectValue(std::u16string_view name, std::u16string_view value) const {
    Expect(Child(Root(), name), ValueReadBack(value));
  }

private:
  std::u16string text_;
  TXMLDocument xml_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const int kind = input.ConsumeIntegralInRange(0, 3);
  std::vector<std::u16string> values;
  for (int i = 0; i < 5; ++i)
    values.push_back(TakeText(input));
  std::vector<std::u16string> numbers, texts;
  const size_t messages = kind == 3 ? input.ConsumeIntegralInRange<size_t>(0, 8) : 0;
  for (size_t i = 0; i < messages; ++i) {
    numbers.push_back(TakeText(input));
    texts.push_back(TakeText(input));
  }
  for (const auto* list : {&values, &numbers, &texts})
    for (const std::u16string& value : *list)
      if (!CarriesInXml(value))
        return 0;

  const auto& [user, password, a, b, vendor] =
      std::tie(values[0], values[1], values[2], values[3], values[4]);
  switch (kind) {
  case 0: {
    const ReadBack document(BuildGetOriginatorsDocument(user, password, vendor));
    document.ExpectValue(u"USERNAME", user);
    document.ExpectValue(u"PASSWORD", password);
    document.ExpectValue(u"VENDOR_ID", vendor);
    break;
  }
  case 1: {
    const ReadBack document(BuildGetStatusDocument(user, password, a, vendor));
    document.ExpectValue(u"MSGID", a);
    document.ExpectValue(u"VENDOR_ID", vendor);
    break;
  }
  case 2: {
    const ReadBack document(BuildReport2DateDocument(user, password, a, b, vendor));
    document.ExpectValue(u"DATE1", a);
    document.ExpectValue(u"DATE2", b);
    break;
  }
  default: {
    const SendDocumentKind sendKind =
        input.ConsumeBool() ? SendDocumentKind::SendSms : SendDocumentKind::SendConcat;
    const ReadBack document(
        BuildSendDocument(sendKind, {user, password, a, b, vendor}, TBasketLists{numbers, texts}));
    document.ExpectValue(u"USERNAME", user);
    document.ExpectValue(u"SENDER", a);
    document.ExpectValue(u"SDATE", b);
    const TXMLNode tm = document.Child(document.Child(document.Root(), u"TM_LIST"), u"TM");
    const TXMLNodeList destinations(document.Child(tm, u"DST_MSISDN_LIST"));
    const TXMLNodeList contents(document.Child(tm, u"CONTENT_LIST"));
    if (destinations.Count() != static_cast<int>(messages) ||
        contents.Count() != static_cast<int>(messages))
      Fail("another number of messages", {});
    for (size_t i = 0; i < messages; ++i) {
      document.Expect(destinations[static_cast<int>(i)], ValueReadBack(numbers[i]));
      document.Expect(document.Child(contents[static_cast<int>(i)], u"CONTENT_TEXT"),
                      TextReadBack(texts[i]));
    }
  }
  }
  return 0;
}
