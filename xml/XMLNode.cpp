#include <utility>

#include "common/Exceptions.h"
#include "common/Format.h"
#include "xml/XMLDoc.h"
#include "xml/XMLNames.h"

namespace tellavo {

namespace {

constexpr std::u16string_view kGeneratedPrefixBase = u"NS";
constexpr std::u16string_view kXmlPrefix = u"xml";
constexpr std::u16string_view kXmlNamespace = u"http://www.w3.org/XML/1998/namespace";

bool HoldsText(TNodeType type) {
  return type == TNodeType::ntText || type == TNodeType::ntCData;
}

// The one text or CDATA child of an element; an element without children
// first gets an empty text node, so that its text can be set.
dom::NodeHandle SingleTextChild(dom::DomDocument& dom, dom::NodeHandle element) {
  dom::NodeHandle child = dom.FirstChild(element);
  if (child == nullptr) {
    child = dom.CreateTextNode(u"");
    dom.AppendChild(element, child);
    return child;
  }
  if (dom.NextSibling(child) != nullptr || !HoldsText(dom.Type(child)))
    throw EXMLDocError(u"Element does not contain a single text node");
  return child;
}

} // namespace

TXMLNode::TXMLNode(std::shared_ptr<dom::DomDocument> dom,
                   std::shared_ptr<detail::XMLDocSettings> settings, dom::NodeHandle handle)
    : dom_(std::move(dom)), settings_(std::move(settings)), handle_(handle) {}

dom::DomDocument& TXMLNode::Dom() const {
  if (handle_ == nullptr)
    throw EXMLDocError(u"Node does not exist");
  return *dom_;
}

TNodeType TXMLNode::NodeType() const {
  return Dom().Type(handle_);
}

std::u16string TXMLNode::NodeName() const {
  return Dom().Name(handle_);
}

std::u16string TXMLNode::LocalName() const {
  return Dom().LocalName(handle_);
}

std::u16string TXMLNode::Prefix() const {
  return Dom().Prefix(handle_);
}

std::u16string TXMLNode::NamespaceURI() const {
  return Dom().NamespaceURI(handle_);
}

std::u16string TXMLNode::NodeValue() const {
  return Dom().Value(handle_);
}

bool TXMLNode::HasChildNodes() const {
  return Dom().FirstChild(handle_) != nullptr;
}

TXMLNodeList TXMLNode::ChildNodes() const {
  Dom();
  return TXMLNodeList(*this);
}

TXMLNode TXMLNode::ParentNode() const {
  return Wrap(Dom().Parent(handle_));
}

std::u16string TXMLNode::Text() const {
  dom::DomDocument& dom = Dom();
  if (dom.Type(handle_) != TNodeType::ntElement)
    return dom.Value(handle_);
  return dom.Value(SingleTextChild(dom, handle_));
}

void TXMLNode::SetText(std::u16string_view text) const {
  dom::DomDocument& dom = Dom();
  dom.SetValue(dom.Type(handle_) == TNodeType::ntElement ? SingleTextChild(dom, handle_) : handle_,
               text);
}

std::u16string TXMLNode::FindNamespaceURI(std::u16string_view prefix) const {
  dom::DomDocument& dom = Dom();
  if (prefix == kXmlPrefix)
    return std::u16string(kXmlNamespace);
  const std::u16string name = xml::DeclarationName(prefix);
  for (dom::NodeHandle node = handle_; node != nullptr; node = dom.Parent(node))
    if (dom.Type(node) == TNodeType::ntElement)
      if (auto uri = dom.GetAttribute(node, name))
        return *uri;
  return {};
}

std::optional<std::u16string> TXMLNode::FindNamespaceDecl(std::u16string_view uri) const {
  dom::DomDocument& dom = Dom();
  for (dom::NodeHandle node = handle_; node != nullptr; node = dom.Parent(node)) {
    if (dom.Type(node) != TNodeType::ntElement)
      continue;
    for (const dom::Attribute& attribute : dom.Attributes(node)) {
      if (attribute.namespaceURI != dom::kXmlnsNamespace || attribute.value != uri)
        continue;
      std::u16string prefix = xml::DeclaredPrefix(attribute.name);
      // A nearer declaration of the same prefix for another namespace hides
      // this one.
      if (FindNamespaceURI(prefix) == uri)
        return prefix;
    }
  }
  return std::nullopt;
}

TXMLNode TXMLNode::AddChild(std::u16string_view name, std::u16string_view namespaceURI,
                            bool generatePrefix) const {
  dom::DomDocument& dom = Dom();
  std::u16string qualifiedName(name);
  const auto declared = FindNamespaceDecl(namespaceURI);
  const xml::QualifiedNameParts parts = xml::SplitQualifiedName(name);
  if (declared) {
    // The declaration in scope names the namespace; a prefix of the caller's
    // own would be undeclared.
    qualifiedName = xml::QualifiedName(*declared, parts.localName);
  } else if (parts.prefix.empty() && generatePrefix && !namespaceURI.empty()) {
    // Only a namespace can be bound to a prefix: an element in no namespace
    // keeps its plain name rather than carry a prefix that nothing declares.
    std::u16string prefix;
    do
      prefix = std::u16string(kGeneratedPrefixBase) + Format(u"%d", {++settings_->prefixCounter});
    while (!FindNamespaceURI(prefix).empty());
    qualifiedName = xml::QualifiedName(prefix, name);
  }
  const dom::NodeHandle child = dom.CreateElement(qualifiedName, namespaceURI);
  dom.AppendChild(handle_, child);
  const TXMLNode node = Wrap(child);
  if (!declared && !namespaceURI.empty() && (settings_->options & doNamespaceDecl) != 0)
    node.DeclareNamespace(xml::SplitQualifiedName(qualifiedName).prefix, namespaceURI);
  return node;
}

void TXMLNode::DeclareNamespace(std::u16string_view prefix, std::u16string_view uri) const {
  Dom().SetAttribute(handle_, dom::kXmlnsNamespace, xml::DeclarationName(prefix), uri);
}

std::optional<std::u16string> TXMLNode::GetAttribute(std::u16string_view qualifiedName) const {
  return Dom().GetAttribute(handle_, qualifiedName);
}

bool TXMLNode::HasAttribute(std::u16string_view qualifiedName) const {
  return GetAttribute(qualifiedName).has_value();
}

void TXMLNode::SetAttribute(std::u16string_view qualifiedName, std::u16string_view value) const {
  Dom().SetAttribute(handle_, {}, qualifiedName, value);
}

void TXMLNode::SetAttributeNS(std::u16string_view qualifiedName, std::u16string_view namespaceURI,
                              std::u16string_view value) const {
  Dom().SetAttribute(handle_, namespaceURI, qualifiedName, value);
}

std::vector<dom::Attribute> TXMLNode::Attributes() const {
  return Dom().Attributes(handle_);
}

std::u16string TXMLNode::XML() const {
  return Dom().Serialize(handle_);
}

TXMLNodeList::TXMLNodeList(TXMLNode owner) : owner_(std::move(owner)) {
  dom::DomDocument& dom = owner_.Dom();
  defaultNamespace_ = dom.NamespaceURI(owner_.handle_);
  for (dom::NodeHandle child = dom.FirstChild(owner_.handle_); child != nullptr;
       child = dom.NextSibling(child))
    nodes_.push_back(child);
}

TXMLNode TXMLNodeList::Get(int index) const {
  if (index < 0 || index >= Count())
    throw EListError(Format(u"List index out of bounds (%d)", {index}));
  return owner_.Wrap(nodes_[static_cast<size_t>(index)]);
}

TXMLNode TXMLNodeList::FindExisting(std::u16string_view name) const {
  dom::DomDocument& dom = owner_.Dom();
  for (dom::NodeHandle child : nodes_) {
    if (dom.LocalName(child) != name && dom.Name(child) != name)
      continue;
    if (defaultNamespace_.empty() || dom.NamespaceURI(child) == defaultNamespace_)
      return owner_.Wrap(child);
  }
  return {};
}

TXMLNode TXMLNodeList::FindNode(std::u16string_view name) {
  if (TXMLNode found = FindExisting(name))
    return found;
  dom::DomDocument& dom = owner_.Dom();
  const bool ownerIsDocument = dom.Type(owner_.handle_) == TNodeType::ntDocument;
  bool mayCreate = (owner_.settings_->options & doNodeAutoCreate) != 0;
  if (ownerIsDocument)
    for (dom::NodeHandle child : nodes_)
      mayCreate = mayCreate && dom.Type(child) != TNodeType::ntElement;
  if (!mayCreate)
    throw EXMLDocError(Format(u"Node \"%s\" not found", {name}));

  const std::u16string prefix = xml::SplitQualifiedName(name).prefix;
  const std::u16string qualifiedName =
      prefix.empty() ? xml::QualifiedName(dom.Prefix(owner_.handle_), name) : std::u16string(name);
  const std::u16string uri =
      prefix.empty() ? dom.NamespaceURI(owner_.handle_) : owner_.FindNamespaceURI(prefix);
  const dom::NodeHandle child = dom.CreateElement(qualifiedName, uri);
  dom.AppendChild(owner_.handle_, child);
  nodes_.push_back(child);
  return owner_.Wrap(child);
}

} // namespace tellavo
