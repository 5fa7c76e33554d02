#include <array>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/SameText.h"
#include "services/SOAPConvert.h"
#include "services/SOAPNames.h"
#include "xml/XMLDoc.h"

namespace tellavo {

namespace {

// The names that mark the result among several children of the response element.
constexpr std::array<std::u16string_view, 2> kReturnNames{u"Result", u"Return"};

// Elements that carry an "id", for resolving "href" references (multi-reference
// encoding) within one response.
class TIdentifierTable {
public:
  explicit TIdentifierTable(const TXMLNode& root) { Collect(root); }

  // The element that `node`'s "href" names, else `node` itself.
  TXMLNode Resolve(const TXMLNode& node) const {
    const auto href = node.GetAttribute(u"href");
    if (!href || href->empty())
      return node;
    const auto found = elements_.find(href->substr(1));
    return found != elements_.end() ? found->second : node;
  }

  void Clear() { elements_.clear(); }

private:
  void Collect(const TXMLNode& node) {
    if (node.NodeType() == TNodeType::ntElement)
      if (auto id = node.GetAttribute(u"id"))
        elements_.emplace(std::move(*id), node);
    const TXMLNodeList children = node.ChildNodes();
    for (int i = 0; i < children.Count(); ++i)
      Collect(children[i]);
  }

  std::unordered_map<std::u16string, TXMLNode> elements_;
};

bool IsElement(const TXMLNode& node) {
  return node.NodeType() == TNodeType::ntElement;
}

TXMLNode FirstElementChild(const TXMLNode& node) {
  const TXMLNodeList children = node.ChildNodes();
  for (int i = 0; i < children.Count(); ++i)
    if (IsElement(children[i]))
      return children[i];
  return {};
}

bool IsReturnName(std::u16string_view name) {
  for (std::u16string_view returnName : kReturnNames)
    if (SameText(name, returnName))
      return true;
  return false;
}

// The only element child of the response element, whatever its name, or else
// the first one with a return name.
TXMLNode FindResultElement(const TXMLNode& response) {
  const TXMLNodeList children = response.ChildNodes();
  TXMLNode only;
  TXMLNode named;
  int elements = 0;
  for (int i = 0; i < children.Count(); ++i) {
    const TXMLNode child = children[i];
    if (!IsElement(child))
      continue;
    ++elements;
    only = child;
    if (named.IsNull() && IsReturnName(child.LocalName()))
      named = child;
  }
  if (elements == 1)
    return only;
  if (named.IsNull())
    throw ESOAPDomConvertError(
        Format(u"SOAP Response Packet: element matching function return not found, received \"%s\"",
               {response.XML()}));
  return named;
}

bool IsCharacterData(const TXMLNode& node) {
  const TNodeType type = node.NodeType();
  return type == TNodeType::ntText || type == TNodeType::ntCData;
}

// Content that is only character data (text and CDATA sections) gives its
// characters, references resolved and CDATA markers dropped; any other content
// gives its markup, so element content comes back as XML.
std::u16string ResultText(const TXMLNode& element) {
  const TXMLNodeList children = element.ChildNodes();
  bool characterData = true;
  for (int i = 0; i < children.Count() && characterData; ++i)
    characterData = IsCharacterData(children[i]);
  // A lone text, the usual result, is handed on without another copy.
  if (characterData && children.Count() == 1)
    return children[0].NodeValue();
  // Otherwise each child's part is taken on its own and the whole allocated
  // once, so that growing it never holds two copies of what it has so far.
  std::vector<std::u16string> parts;
  size_t size = 0;
  for (int i = 0; i < children.Count(); ++i) {
    parts.push_back(characterData ? children[i].NodeValue() : children[i].XML());
    size += parts.back().size();
  }
  std::u16string text;
  text.reserve(size);
  for (std::u16string& part : parts) {
    text += part;
    std::u16string().swap(part);
  }
  return text;
}

[[noreturn]] void RaiseFault(const TXMLNode& fault) {
  TXMLNode code, message, actor, detail;
  const TXMLNodeList children = fault.ChildNodes();
  for (int i = 0; i < children.Count(); ++i) {
    const TXMLNode child = children[i];
    const std::u16string name = child.LocalName();
    if (SameText(name, u"faultcode"))
      code = child;
    else if (SameText(name, u"faultstring"))
      message = child;
    else if (SameText(name, u"faultactor"))
      actor = child;
    else if (SameText(name, u"detail"))
      detail = child;
  }
  ERemotableException exception(message ? message.Text() : std::u16string());
  if (actor)
    exception.SetFaultActor(actor.Text());
  if (code)
    exception.SetFaultCode(code.Text());
  if (detail)
    exception.SetFaultDetail(detail.XML());
  throw exception;
}

// A header entry that nothing here processes must not insist on being
// understood. Only the unprefixed attribute counts.
void CheckHeaderEntry(const TXMLNode& entry) {
  const auto mustUnderstand = entry.GetAttribute(u"mustUnderstand");
  if (mustUnderstand && (*mustUnderstand == u"1" || SameText(*mustUnderstand, u"true")))
    throw ERemotableException(
        Format(u"Soap header %s with attribute 'mustUnderstand' set to true was not handled",
               {entry.LocalName()}),
        u"MustUnderstand");
}

} // namespace

std::u16string TOPToSoapDomConvert::ProcessResponse(std::string response) const {
  TXMLDocument document;
  document.LoadFromStream(response);
  // Parsed, the bytes are of no more use; the result takes their room.
  std::string().swap(response);
  TIdentifierTable identifiers(document.Node());

  const TXMLNode envelope = document.DocumentElement();
  if (envelope.IsNull())
    throw ESOAPDomConvertError(u"Invalid SOAP Response");
  if (envelope.LocalName() != kEnvelopeName || envelope.NamespaceURI() != kSoapEnvelopeNamespace)
    throw ESOAPDomConvertError(Format(
        u"DocumentElement %s:%s expected, %s:%s found",
        {kSoapEnvelopeNamespace, kEnvelopeName, envelope.NamespaceURI(), envelope.LocalName()}));
  if (!envelope.HasChildNodes())
    throw ESOAPDomConvertError(u"Invalid SOAP request");

  std::u16string result;
  bool headerSeen = false;
  bool bodySeen = false;
  const TXMLNodeList parts = envelope.ChildNodes();
  for (int i = 0; i < parts.Count(); ++i) {
    const TXMLNode part = parts[i];
    if (!IsElement(part))
      continue;
    const std::u16string name = part.LocalName();
    if (name == kHeaderName) {
      if (std::exchange(headerSeen, true))
        throw ESOAPDomConvertError(u"Invalid SOAP response");
      const TXMLNodeList entries = part.ChildNodes();
      for (int j = 0; j < entries.Count(); ++j)
        if (IsElement(entries[j]))
          CheckHeaderEntry(identifiers.Resolve(entries[j]));
    } else if (name == kBodyName) {
      if (std::exchange(bodySeen, true))
        throw ESOAPDomConvertError(u"Invalid SOAP response");
      const TXMLNode responseElement = FirstElementChild(part);
      // References serve the body only; the table goes once the body is read.
      struct ClearOnExit {
        TIdentifierTable& table;
        ~ClearOnExit() { table.Clear(); }
      } clearOnExit{identifiers};
      if (responseElement.IsNull())
        continue;
      if (responseElement.LocalName() == kFaultName)
        RaiseFault(responseElement);
      result = ResultText(identifiers.Resolve(FindResultElement(responseElement)));
    }
  }
  return result;
}

} // namespace tellavo
