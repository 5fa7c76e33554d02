// The narrow DOM that the XML document layer stands on. Each target builds one
// implementation over its platform's parser (DomBackendLibXml2.cpp on posix,
// DomBackendMsXml.cpp on Windows) behind CreateDomDocument; nothing of that
// implementation shows here.
//
// Texts cross this interface as UTF-16. Node handles are opaque and stay valid
// for as long as their document object lives, whether or not the node is in
// the tree.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tellavo {

// The DOM node types, numbered as the DOM numbers them.
enum class TNodeType : int {
  ntReserved = 0,
  ntElement = 1,
  ntAttribute = 2,
  ntText = 3,
  ntCData = 4,
  ntEntityRef = 5,
  ntEntity = 6,
  ntProcessingInstr = 7,
  ntComment = 8,
  ntDocument = 9,
  ntDocType = 10,
  ntDocFragment = 11,
  ntNotation = 12,
};

namespace dom {

struct NodeTag;
using NodeHandle = NodeTag*;

// The parser's report on a document that is not well-formed.
struct ParseError {
  std::u16string reason;
  int line = 0;
  // The source text of the failing line.
  std::u16string sourceText;
};

// An attribute of an element; namespace declarations are listed as attributes
// named "xmlns" or "xmlns:prefix" in the namespace of namespace declarations.
struct Attribute {
  std::u16string name;
  std::u16string namespaceURI;
  std::u16string value;
};

// The namespace that namespace declarations themselves belong to.
inline constexpr std::u16string_view kXmlnsNamespace = u"http://www.w3.org/2000/xmlns/";

class DomDocument {
public:
  virtual ~DomDocument() = default;

  // Parse into this (empty) document. Text is read as the characters it holds,
  // whatever its declaration names; bytes are decoded by byte-order mark, else
  // by the declaration, else as UTF-8. Whitespace-only text is not kept.
  // Returns the parser's report when the input is not well-formed or holds
  // more nodes than the document allows; the document then stays empty.
  virtual std::optional<ParseError> LoadText(std::u16string_view text) = 0;
  virtual std::optional<ParseError> LoadBytes(std::string_view bytes) = 0;

  // Walking. A missing node is nullptr.
  virtual NodeHandle DocumentNode() = 0;
  virtual NodeHandle Parent(NodeHandle node) = 0;
  virtual NodeHandle FirstChild(NodeHandle node) = 0;
  virtual NodeHandle LastChild(NodeHandle node) = 0;
  virtual NodeHandle NextSibling(NodeHandle node) = 0;
  virtual NodeHandle PreviousSibling(NodeHandle node) = 0;

  virtual TNodeType Type(NodeHandle node) = 0;
  // The qualified name as the DOM gives it ("#text", "#document" for the
  // nameless kinds).
  virtual std::u16string Name(NodeHandle node) = 0;
  virtual std::u16string LocalName(NodeHandle node) = 0;
  virtual std::u16string Prefix(NodeHandle node) = 0;
  virtual std::u16string NamespaceURI(NodeHandle node) = 0;
  // The node value: the characters of a text, CDATA section or comment, the
  // data of a processing instruction, empty for the other kinds.
  virtual std::u16string Value(NodeHandle node) = 0;
  virtual void SetValue(NodeHandle node, std::u16string_view value) = 0;

  // Attributes of an element, namespace declarations first, each group in
  // document order.
  virtual std::vector<Attribute> Attributes(NodeHandle element) = 0;
  // The attribute whose qualified name is exactly the given one.
  virtual std::optional<std::u16string> GetAttribute(NodeHandle element,
                                                     std::u16string_view qualifiedName) = 0;
  // Sets (or replaces) an attribute; in kXmlnsNamespace this is a namespace
  // declaration.
  virtual void SetAttribute(NodeHandle element, std::u16string_view namespaceURI,
                            std::u16string_view qualifiedName, std::u16string_view value) = 0;

  // Building. New nodes belong to this document and are detached until
  // appended or inserted.
  virtual NodeHandle CreateElement(std::u16string_view qualifiedName,
                                   std::u16string_view namespaceURI) = 0;
  virtual NodeHandle CreateTextNode(std::u16string_view text) = 0;
  virtual NodeHandle CreateProcessingInstruction(std::u16string_view target,
                                                 std::u16string_view data) = 0;
  virtual void AppendChild(NodeHandle parent, NodeHandle child) = 0;
  // Inserts before `reference`, or appends when it is nullptr.
  virtual void InsertBefore(NodeHandle parent, NodeHandle child, NodeHandle reference) = 0;
  // Detaches the child; its handle stays valid.
  virtual void RemoveChild(NodeHandle parent, NodeHandle child) = 0;

  // The text form of a node, without indentation; for the document node, its
  // children one after another. Empty for an empty document.
  virtual std::u16string Serialize(NodeHandle node) = 0;
  // The same text form in UTF-8, the form it is sent in.
  virtual std::string SerializeUtf8(NodeHandle node) = 0;
};

// The parser's reason for refusing a document with more than `maxNodes` nodes.
inline std::u16string TooManyNodesReason(size_t maxNodes) {
  const std::string number = std::to_string(maxNodes);
  return u"Document has more than " + std::u16string(number.begin(), number.end()) + u" nodes";
}

// Makes a new, empty platform document. Loading into it refuses a document
// with more than `maxNodes` nodes (elements, attributes, texts, comments and
// the like; the document node and texts of white space only do not count).
std::unique_ptr<DomDocument> CreateDomDocument(size_t maxNodes);

} // namespace dom
} // namespace tellavo
