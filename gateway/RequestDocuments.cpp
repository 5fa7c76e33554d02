#include "gateway/RequestDocuments.h"

#include "gateway/FoldText.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <numeric>
#include <string>

#include "common/Exceptions.h"
#include "common/Utf.h"

namespace tellavo {

namespace {

constexpr std::u16string_view kDeclaration = u"<?xml version=\"1.0\" encoding=\"utf-8\" ?>";
constexpr std::u16string_view kValidityPeriod = u"1710";
constexpr size_t kQueryDocumentSize = 256;

constexpr bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}
constexpr int HexValue(char16_t c) {
  return IsDigit(c)               ? c - u'0'
         : c >= u'a' && c <= u'f' ? c - u'a' + 10
         : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                  : -1;
}

constexpr bool IsXmlChar(uint32_t code) {
  return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
         (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

constexpr bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// The position of the first UTF-16 unit of `text` that is no XML character
// on its own or as part of a surrogate pair; npos when there is none.
size_t FirstNonXmlUnit(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0x20 && c < 0xD800)
      continue;
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ++i;
      continue;
    }
    if (IsLowSurrogate(c) || IsHighSurrogate(c) || !IsXmlChar(c))
      return i;
  }
  return std::u16string_view::npos;
}

std::u16string Hex4(char16_t c) {
  constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string hex;
  for (int shift = 12; shift >= 0; shift -= 4)
    hex += kDigits[(c >> shift) & 0xF];
  return hex;
}

// A NUL would cut the request short on its way into the envelope, and the
// other characters that XML cannot carry make the gateway refuse the whole
// document: such a request is refused here, naming the value, the position
// (from 1) and the code of the character at `at`. `detail` follows the
// position ("of its text").
[[noreturn]] void Refuse(std::u16string_view field, std::u16string_view value, size_t at,
                         std::u16string_view detail = {}) {
  throw EXMLDocError(u"The request was not sent: " + std::u16string(field) +
                     u" holds the character U+" + Hex4(value[at]) + u" at position " +
                     Utf8ToUtf16(std::to_string(at + 1)) + std::u16string(detail) +
                     u", which XML cannot carry");
}

void CheckCarriable(std::u16string_view field, std::u16string_view value) {
  if (const size_t at = FirstNonXmlUnit(value); at != std::u16string_view::npos)
    Refuse(field, value, at);
}

// The same for the messages of a basket, which are named by their number.
void CheckCarriable(const TBasketLists& basket) {
  for (size_t i = 0; i < basket.Numbers.size(); ++i) {
    const auto refuse = [i](std::u16string_view value, size_t at, std::u16string_view detail) {
      Refuse(u"message " + Utf8ToUtf16(std::to_string(i + 1)) + u" in the basket", value, at,
             detail);
    };
    if (const size_t at = FirstNonXmlUnit(basket.Numbers[i]); at != std::u16string_view::npos)
      refuse(basket.Numbers[i], at, u" of its number");
    if (const size_t at = FirstNonXmlUnit(basket.Texts[i]); at != std::u16string_view::npos)
      refuse(basket.Texts[i], at, u" of its text");
  }
}

// Whether `text`, which starts with "&", starts with a well-formed reference:
// one of the five predefined entities or a character reference to a
// character that XML allows.
bool StartsWithReference(std::u16string_view text) {
  static constexpr std::array<std::u16string_view, 5> kEntities{u"&amp;", u"&lt;", u"&gt;",
                                                                u"&quot;", u"&apos;"};
  for (const auto entity : kEntities)
    if (text.starts_with(entity))
      return true;
  if (!text.starts_with(u"&#"))
    return false;
  const bool hex = text.size() > 2 && text[2] == u'x';
  const int base = hex ? 16 : 10;
  uint32_t code = 0;
  size_t i = hex ? 3 : 2;
  const size_t firstDigit = i;
  for (; i < text.size() && text[i] != u';'; ++i) {
    const int digit = hex ? HexValue(text[i]) : (IsDigit(text[i]) ? text[i] - u'0' : -1);
    if (digit < 0)
      return false;
    code = code * base + digit;
    if (code > 0x10FFFF)
      return false;
  }
  return i < text.size() && i > firstDigit && IsXmlChar(code);
}

void AppendEscaped(std::u16string& out, std::u16string_view value) {
  if (value.find_first_of(u"&<>") == std::u16string_view::npos) {
    out += value;
    return;
  }
  for (size_t i = 0; i < value.size(); ++i) {
    const char16_t c = value[i];
    if (c == u'&' && StartsWithReference(value.substr(i)))
      out += c;
    else if (c == u'&' || c == u'<' || c == u'>')
      out += MarkupEntity(c);
    else
      out += c;
  }
}

// Builds a request document from start tags, end tags and escaped values.
class DocumentText {
public:
  DocumentText(std::u16string_view root, size_t expectedSize) : root_(root) {
    text_.reserve(expectedSize);
    text_ += kDeclaration;
    Open(root_);
  }
  void Open(std::u16string_view name) {
    text_ += u'<';
    text_ += name;
    text_ += u'>';
  }
  void Close(std::u16string_view name) {
    text_ += u"</";
    text_ += name;
    text_ += u'>';
  }
  // An element holding the argument `field`.
  void Element(std::u16string_view name, std::u16string_view field, std::u16string_view value) {
    CheckCarriable(field, value);
    Element(name, value);
  }
  void Element(std::u16string_view name, std::u16string_view value) {
    Open(name);
    AppendEscaped(text_, value);
    Close(name);
  }
  void FoldedElement(std::u16string_view name, std::u16string_view text) {
    Open(name);
    AppendFolded(text_, text);
    Close(name);
  }
  // The user name, password and vendor identifier that every document starts with.
  void Credentials(std::u16string_view username, std::u16string_view password,
                   std::u16string_view vendor_id) {
    Element(u"USERNAME", u"username", username);
    Element(u"PASSWORD", u"password", password);
    Element(u"VENDOR_ID", u"vendor_id", vendor_id);
  }
  std::u16string Finish() {
    Close(root_);
    return std::move(text_);
  }

private:
  std::u16string_view root_;
  std::u16string text_;
};

// The length of a start tag and an end tag of one element.
constexpr size_t TagsLength(std::u16string_view name) {
  return 2 * name.size() + 5;
}

// The total length of a list's entries as `length` measures each, plus
// `perEntry` for each.
template <class Length> size_t TotalSize(const TStringList& list, size_t perEntry, Length length) {
  size_t total = 0;
  for (const std::u16string& entry : list)
    total += length(entry) + perEntry;
  return total;
}
} // namespace

std::u16string EscapeValue(std::u16string_view value) {
  std::u16string out;
  AppendEscaped(out, value);
  return out;
}

std::u16string BuildGetOriginatorsDocument(std::u16string_view username,
                                           std::u16string_view password,
                                           std::u16string_view vendor_id) {
  DocumentText document(u"GETORIGINATORS", kQueryDocumentSize);
  document.Credentials(username, password, vendor_id);
  return document.Finish();
}

std::u16string BuildGetStatusDocument(std::u16string_view username, std::u16string_view password,
                                      std::u16string_view packet_id,
                                      std::u16string_view vendor_id) {
  DocumentText document(u"GETSTATUS", kQueryDocumentSize);
  document.Credentials(username, password, vendor_id);
  document.Element(u"MSGID", u"packet_id", packet_id);
  return document.Finish();
}

std::u16string BuildReport2DateDocument(std::u16string_view username, std::u16string_view password,
                                        std::u16string_view date1, std::u16string_view date2,
                                        std::u16string_view vendor_id) {
  DocumentText document(u"REPORT2DATE", kQueryDocumentSize);
  document.Credentials(username, password, vendor_id);
  document.Element(u"DATE1", u"date1", date1);
  document.Element(u"DATE2", u"date2", date2);
  return document.Finish();
}

std::u16string BuildSendDocument(SendDocumentKind kind, const SendArguments& arguments,
                                 const TBasketLists& basket) {
  const size_t messages = basket.Numbers.size();
  CheckCarriable(basket);
  // Enough for the whole document unless numbers or arguments need
  // escaping, so that a large basket is written into one allocation.
  const size_t expected =
      TotalSize(basket.Numbers, TagsLength(u"DST_MSISDN"), std::mem_fn(&std::u16string::size)) +
      TotalSize(basket.Texts, TagsLength(u"CONTENT") + TagsLength(u"CONTENT_TEXT"),
                [](const std::u16string& text) { return FoldedLength(text); }) +
      512;
  DocumentText document(kind == SendDocumentKind::SendSms ? u"SENDSMS" : u"SENDCONCAT", expected);
  document.Credentials(arguments.username, arguments.password, arguments.vendor_id);
  document.Element(u"SDATE", u"senddate", arguments.senddate);
  document.Element(u"VP", kValidityPeriod);
  document.Element(u"SENDER", u"originator", arguments.originator);
  document.Open(u"TM_LIST");
  document.Open(u"TM");
  document.Open(u"DST_MSISDN_LIST");
  for (size_t i = 0; i < messages; ++i)
    document.Element(u"DST_MSISDN", basket.Numbers[i]);
  document.Close(u"DST_MSISDN_LIST");
  document.Open(u"CONTENT_LIST");
  for (size_t i = 0; i < messages; ++i) {
    document.Open(u"CONTENT");
    document.FoldedElement(u"CONTENT_TEXT", basket.Texts[i]);
    document.Close(u"CONTENT");
  }
  document.Close(u"CONTENT_LIST");
  document.Close(u"TM");
  document.Close(u"TM_LIST");
  return document.Finish();
}

} // namespace tellavo
