// The XML document layer: parsing, walking, building and serialising XML over
// the platform DOM. A document is inactive until its source (a text or a byte
// stream) is loaded into a platform document; nodes handed out keep that
// platform document alive while they are referenced, even after the
// TXMLDocument has gone or been deactivated.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "xml/DomBackend.h"

namespace tellavo {

// Document options. Node auto-create lets a child list add a missing child
// looked up by name; namespace declaration lets AddChild declare the namespace
// of a new child that has none in scope.
enum TXMLDocOption : uint32_t {
  doNodeAutoCreate = 1u << 0,
  doNamespaceDecl = 1u << 1,
};
using TXMLDocOptions = uint32_t;
inline constexpr TXMLDocOptions kDefaultDocOptions = doNodeAutoCreate | doNamespaceDecl;

namespace detail {
// The settings that a document shares with the nodes handed out from it.
struct XMLDocSettings {
  TXMLDocOptions options = kDefaultDocOptions;
  // Last number used for a generated "NSn" prefix.
  int prefixCounter = 0;
};
} // namespace detail

class TXMLNodeList;

// One platform node. A default-constructed node is the null node (what
// DocumentElement gives for a document without one); any operation on it but
// IsNull raises EXMLDocError.
class TXMLNode {
public:
  TXMLNode() = default;
  TXMLNode(std::shared_ptr<dom::DomDocument> dom, std::shared_ptr<detail::XMLDocSettings> settings,
           dom::NodeHandle handle);

  bool IsNull() const { return handle_ == nullptr; }
  explicit operator bool() const { return !IsNull(); }
  bool operator==(const TXMLNode& other) const { return handle_ == other.handle_; }

  TNodeType NodeType() const;
  std::u16string NodeName() const;
  std::u16string LocalName() const;
  std::u16string Prefix() const;
  std::u16string NamespaceURI() const;
  std::u16string NodeValue() const;

  bool HasChildNodes() const;
  // The child nodes of any kind, in document order.
  TXMLNodeList ChildNodes() const;
  // The null node for the document node and for detached nodes.
  TXMLNode ParentNode() const;

  // For an element: empty when it has no children (an empty text node is then
  // appended), the value of its only child when that is a text or CDATA
  // section, else EXMLDocError. For other kinds: the node value.
  std::u16string Text() const;
  void SetText(std::u16string_view text) const;

  // Appends a child element named `name` in `namespaceURI`; the name takes the
  // prefix of a declaration of that namespace in scope, or a generated "NSn"
  // prefix when none is in scope and `generatePrefix` is set.
  TXMLNode AddChild(std::u16string_view name, std::u16string_view namespaceURI = {},
                    bool generatePrefix = false) const;
  // Declares `prefix` (the default namespace when empty) for `uri` on this element.
  void DeclareNamespace(std::u16string_view prefix, std::u16string_view uri) const;
  // The namespace URI that `prefix` has in scope here; empty when undeclared.
  std::u16string FindNamespaceURI(std::u16string_view prefix) const;

  // Attributes by exact qualified name.
  std::optional<std::u16string> GetAttribute(std::u16string_view qualifiedName) const;
  bool HasAttribute(std::u16string_view qualifiedName) const;
  void SetAttribute(std::u16string_view qualifiedName, std::u16string_view value) const;
  void SetAttributeNS(std::u16string_view qualifiedName, std::u16string_view namespaceURI,
                      std::u16string_view value) const;
  std::vector<dom::Attribute> Attributes() const;

  // The node's text form.
  std::u16string XML() const;

private:
  friend class TXMLNodeList;
  friend class TXMLDocument;

  dom::DomDocument& Dom() const;
  TXMLNode Wrap(dom::NodeHandle handle) const { return TXMLNode(dom_, settings_, handle); }
  // The prefix of a declaration of `uri` in scope here that no nearer
  // declaration shadows.
  std::optional<std::u16string> FindNamespaceDecl(std::u16string_view uri) const;

  std::shared_ptr<dom::DomDocument> dom_;
  std::shared_ptr<detail::XMLDocSettings> settings_;
  dom::NodeHandle handle_ = nullptr;
};

// The child nodes of one node, taken when the list is made. Lookups by name
// match the local name, else the qualified name, exactly; when the owner has a
// namespace, only children in that namespace match.
class TXMLNodeList {
public:
  explicit TXMLNodeList(TXMLNode owner);

  int Count() const { return static_cast<int>(nodes_.size()); }
  // EListError "List index out of bounds (%d)" outside 0 .. Count() - 1.
  TXMLNode Get(int index) const;
  TXMLNode operator[](int index) const { return Get(index); }
  // The first match; with node auto-create on, a missing child is appended to
  // the owner; else EXMLDocError `Node "%s" not found`.
  TXMLNode FindNode(std::u16string_view name);
  // The first match, or the null node.
  TXMLNode FindExisting(std::u16string_view name) const;

private:
  TXMLNode owner_;
  std::u16string defaultNamespace_;
  std::vector<dom::NodeHandle> nodes_;
};

class TXMLDocument {
public:
  // Empty and inactive.
  TXMLDocument();
  // One document owns one source and one platform document.
  TXMLDocument(const TXMLDocument&) = delete;
  TXMLDocument& operator=(const TXMLDocument&) = delete;
  TXMLDocument(TXMLDocument&&) = default;
  TXMLDocument& operator=(TXMLDocument&&) = default;

  TXMLDocOptions Options() const { return settings_->options; }
  void SetOptions(TXMLDocOptions options) { settings_->options = options; }

  // The source text, split into lines at every CR LF, lone CR or lone LF.
  void SetXML(std::u16string_view text);
  std::vector<std::u16string> XMLLines() const;

  // Activating parses the source into a new platform document (EDOMParseError
  // when it is not well-formed; the document then stays inactive);
  // deactivating releases it.
  void SetActive(bool active);
  bool Active() const { return dom_ != nullptr; }

  // Deactivates, empties the source text and activates with `bytes` as the
  // source. The bytes are the source only while they are parsed: the
  // document keeps none of them, so activating again after a deactivation
  // gives an empty document.
  void LoadFromStream(std::string_view bytes);

  // The document node.
  TXMLNode Node() const;
  // The last element child of the document node, or the null node.
  TXMLNode DocumentElement() const;
  // Replaces the document element, or appends it when there is none.
  void SetDocumentElement(const TXMLNode& element);
  // An element with the given qualified name and no namespace, detached.
  TXMLNode CreateNode(std::u16string_view qualifiedName) const;

  // The document's text form, declaration included; empty for an empty document.
  std::u16string SaveToXML() const;
  // The same in UTF-8, without a byte-order mark.
  std::string SaveToUtf8() const;

  // The XML declaration. Setting a value rebuilds the declaration, placed
  // first in the document, from version, encoding and standalone, leaving out
  // the empty ones.
  std::u16string Version() const;
  std::u16string Encoding() const;
  std::u16string StandAlone() const;
  void SetVersion(std::u16string_view version);
  void SetEncoding(std::u16string_view encoding);
  void SetStandAlone(std::u16string_view standAlone);

private:
  dom::DomDocument& Dom() const;
  TXMLNode Wrap(dom::NodeHandle handle) const { return TXMLNode(dom_, settings_, handle); }
  // Parses `bytes`, or else the source text, into a new platform document.
  void Activate(std::optional<std::string_view> bytes);
  dom::NodeHandle Declaration() const;
  std::u16string DeclarationValue(std::u16string_view name) const;
  void SetDeclarationValue(std::u16string_view name, std::u16string_view value);

  std::shared_ptr<dom::DomDocument> dom_;
  std::shared_ptr<detail::XMLDocSettings> settings_;
  // The source text: its lines, each followed by CR LF, as the parser reads them.
  std::u16string text_;
};

} // namespace tellavo
