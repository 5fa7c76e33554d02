#include "xml/XMLDoc.h"

#include <array>

#include "common/Exceptions.h"
#include "common/Format.h"

namespace tellavo {

namespace {

constexpr std::u16string_view kDeclarationTarget = u"xml";
constexpr std::u16string_view kLineEnd = u"\r\n";
constexpr std::array<std::u16string_view, 3> kDeclarationNames = {u"version", u"encoding",
                                                                  u"standalone"};
// A parsed document costs memory per node, far more than its bytes.
constexpr size_t kMaxDocumentNodes = TELLAVO_MAX_DOCUMENT_NODES;
// How much of the failing line a parse error message shows.
constexpr size_t kParseErrorSourceLength = 40;

std::vector<std::u16string> SplitLines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  while (!text.empty()) {
    const size_t end = text.find_first_of(u"\r\n");
    lines.emplace_back(text.substr(0, end));
    if (end == std::u16string_view::npos)
      break;
    text.remove_prefix(end + (text.substr(end, 2) == u"\r\n" ? 2 : 1));
  }
  return lines;
}

[[noreturn]] void RaiseParseError(const dom::ParseError& error) {
  throw EDOMParseError(
      Format(u"%s%s%s: %d%s%s",
             {error.reason, u"\r\n", u"Line", error.line, u"\r\n",
              std::u16string_view(error.sourceText).substr(0, kParseErrorSourceLength)}));
}

// The value of `name` in declaration data such as version="1.0" encoding='x'.
std::u16string PseudoAttribute(std::u16string_view data, std::u16string_view name) {
  size_t at = 0;
  while ((at = data.find(name, at)) != std::u16string_view::npos) {
    const bool starts = at == 0 || data[at - 1] == u' ' || data[at - 1] == u'\t' ||
                        data[at - 1] == u'\r' || data[at - 1] == u'\n';
    size_t next = data.find_first_not_of(u" \t\r\n", at + name.size());
    at += name.size();
    if (!starts || next == std::u16string_view::npos || data[next] != u'=')
      continue;
    const size_t open = data.find_first_not_of(u" \t\r\n", next + 1);
    if (open == std::u16string_view::npos || (data[open] != u'"' && data[open] != u'\''))
      continue;
    const size_t close = data.find(data[open], open + 1);
    if (close == std::u16string_view::npos)
      return {};
    return std::u16string(data.substr(open + 1, close - open - 1));
  }
  return {};
}

} // namespace

TXMLDocument::TXMLDocument() : settings_(std::make_shared<detail::XMLDocSettings>()) {}

void TXMLDocument::SetXML(std::u16string_view text) {
  // A new source replaces what is loaded; the next activation parses it.
  SetActive(false);
  // Held whole rather than as lines: the parser reads line ends of every kind
  // alike, so only the last line's CR LF has to be added.
  const bool lastLineEnded = text.empty() || text.back() == u'\r' || text.back() == u'\n';
  text_.reserve(text.size() + kLineEnd.size());
  text_.assign(text);
  if (!lastLineEnded)
    text_ += kLineEnd;
}

std::vector<std::u16string> TXMLDocument::XMLLines() const {
  return SplitLines(text_);
}

void TXMLDocument::SetActive(bool active) {
  if (!active) {
    dom_.reset();
    return;
  }
  if (dom_ == nullptr)
    Activate(std::nullopt);
}

void TXMLDocument::LoadFromStream(std::string_view bytes) {
  SetActive(false);
  text_.clear();
  Activate(bytes);
}

void TXMLDocument::Activate(std::optional<std::string_view> bytes) {
  std::shared_ptr<dom::DomDocument> dom = dom::CreateDomDocument(kMaxDocumentNodes);
  std::optional<dom::ParseError> error;
  if (bytes)
    error = dom->LoadBytes(*bytes);
  else if (!text_.empty())
    error = dom->LoadText(text_);
  if (error)
    RaiseParseError(*error);
  dom_ = std::move(dom);
}

dom::DomDocument& TXMLDocument::Dom() const {
  if (dom_ == nullptr)
    throw EXMLDocError(u"No active document");
  return *dom_;
}

TXMLNode TXMLDocument::Node() const {
  return Wrap(Dom().DocumentNode());
}

TXMLNode TXMLDocument::DocumentElement() const {
  dom::DomDocument& dom = Dom();
  for (dom::NodeHandle node = dom.LastChild(dom.DocumentNode()); node != nullptr;
       node = dom.PreviousSibling(node))
    if (dom.Type(node) == TNodeType::ntElement)
      return Wrap(node);
  return {};
}

void TXMLDocument::SetDocumentElement(const TXMLNode& element) {
  dom::DomDocument& dom = Dom();
  if (!element.IsNull() && element.dom_ != dom_)
    throw EXMLDocError(u"Node belongs to another document");
  const TXMLNode old = DocumentElement();
  if (old == element)
    return;
  if (!element.IsNull())
    dom.InsertBefore(dom.DocumentNode(), element.handle_, old.handle_);
  if (!old.IsNull())
    dom.RemoveChild(dom.DocumentNode(), old.handle_);
}

TXMLNode TXMLDocument::CreateNode(std::u16string_view qualifiedName) const {
  return Wrap(Dom().CreateElement(qualifiedName, {}));
}

std::u16string TXMLDocument::SaveToXML() const {
  dom::DomDocument& dom = Dom();
  return dom.Serialize(dom.DocumentNode());
}

std::string TXMLDocument::SaveToUtf8() const {
  dom::DomDocument& dom = Dom();
  return dom.SerializeUtf8(dom.DocumentNode());
}

dom::NodeHandle TXMLDocument::Declaration() const {
  dom::DomDocument& dom = Dom();
  const dom::NodeHandle first = dom.FirstChild(dom.DocumentNode());
  if (first != nullptr && dom.Type(first) == TNodeType::ntProcessingInstr &&
      dom.Name(first) == kDeclarationTarget)
    return first;
  return nullptr;
}

std::u16string TXMLDocument::DeclarationValue(std::u16string_view name) const {
  const dom::NodeHandle declaration = Declaration();
  return declaration == nullptr ? std::u16string()
                                : PseudoAttribute(Dom().Value(declaration), name);
}

void TXMLDocument::SetDeclarationValue(std::u16string_view name, std::u16string_view value) {
  std::u16string data;
  for (std::u16string_view each : kDeclarationNames) {
    const std::u16string current = each == name ? std::u16string(value) : DeclarationValue(each);
    if (current.empty())
      continue;
    if (!data.empty())
      data += u' ';
    data += std::u16string(each) + u"=\"" + current + u"\"";
  }
  dom::DomDocument& dom = Dom();
  const dom::NodeHandle root = dom.DocumentNode();
  // A DOM may refuse to change a declaration's data in place, so a new
  // declaration takes the old one's place.
  if (const dom::NodeHandle declaration = Declaration())
    dom.RemoveChild(root, declaration);
  dom.InsertBefore(root, dom.CreateProcessingInstruction(kDeclarationTarget, data),
                   dom.FirstChild(root));
}

std::u16string TXMLDocument::Version() const {
  return DeclarationValue(kDeclarationNames[0]);
}

std::u16string TXMLDocument::Encoding() const {
  return DeclarationValue(kDeclarationNames[1]);
}

std::u16string TXMLDocument::StandAlone() const {
  return DeclarationValue(kDeclarationNames[2]);
}

void TXMLDocument::SetVersion(std::u16string_view version) {
  SetDeclarationValue(kDeclarationNames[0], version);
}

void TXMLDocument::SetEncoding(std::u16string_view encoding) {
  SetDeclarationValue(kDeclarationNames[1], encoding);
}

void TXMLDocument::SetStandAlone(std::u16string_view standAlone) {
  SetDeclarationValue(kDeclarationNames[2], standAlone);
}

} // namespace tellavo
