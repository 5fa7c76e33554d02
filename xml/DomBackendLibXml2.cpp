// The DOM of the XML document layer on libxml2.
//
// Input comes from the network, so the parser never touches anything outside
// the bytes it is given: no network, no external DTD subset, and a document
// that declares an external entity (general or parameter) is refused before
// anything could be loaded. Internal entities are substituted; libxml2's own
// amplification checks (never lifted with XML_PARSE_HUGE) stop exponential and
// quadratic expansion, and its depth limit bounds nesting. The parse stops as
// soon as the document holds more nodes than it may; what libxml2 reports
// outside the parse's own context (encoding and I/O failures) joins the parse
// report instead of reaching the host's standard error.
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

#include "common/Utf.h"
#include "xml/DomBackend.h"
#include "xml/DomBackendLibXml2Input.h"

namespace tellavo::dom {
namespace {

constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOENT;
constexpr std::u16string_view kExternalEntityRefused = u"External entities are not allowed";
// How much of the failing line the parse report carries; the layer shows less.
constexpr size_t kSourceTextUnits = 400;

struct XmlFree {
  void operator()(xmlChar* text) const { xmlFree(text); }
  void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
  void operator()(xmlNs* ns) const { xmlFreeNs(ns); }
  void operator()(xmlSaveCtxt* save) const { xmlSaveClose(save); }
};
template <class T> using XmlPtr = std::unique_ptr<T, XmlFree>;

template <class T> T* Checked(T* pointer) {
  if (pointer == nullptr)
    throw std::bad_alloc();
  return pointer;
}

void InitParserOnce() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

const xmlChar* U8(const std::string& text) {
  return reinterpret_cast<const xmlChar*>(text.c_str());
}

std::string ToUtf8(std::u16string_view text) {
  return Utf16ToUtf8(text);
}

// Moves the string that `text` owns into a block of `size` bytes; false,
// keeping it where it is, when there is no memory for that.
bool Reallocate(XmlPtr<xmlChar>& text, size_t size) {
  auto* moved = static_cast<xmlChar*>(xmlRealloc(text.get(), size));
  if (moved == nullptr)
    return false;
  static_cast<void>(text.release());
  text.reset(moved);
  return true;
}

// `text` as UTF-8 in a string of libxml2's own, converted a piece at a time
// straight into it, so that a large value is never held twice in UTF-8.
XmlPtr<xmlChar> XmlStringOf(std::u16string_view text) {
  constexpr size_t kPieceUnits = 4096;
  size_t capacity = text.size() + 1;
  size_t length = 0;
  XmlPtr<xmlChar> out(static_cast<xmlChar*>(Checked(xmlMallocAtomic(capacity))));
  std::string piece;
  while (!text.empty()) {
    // A piece never ends between the two halves of a surrogate pair.
    size_t units = std::min(text.size(), kPieceUnits);
    if (units < text.size() && units > 1 && text[units - 1] >= 0xD800 && text[units - 1] <= 0xDBFF)
      --units;
    piece.clear();
    AppendUtf8(piece, text.substr(0, units));
    text.remove_prefix(units);
    if (length + piece.size() + 1 > capacity) {
      // Grown by half again at least, as the rest is likely alike.
      capacity = std::max(length + piece.size() + 1, capacity + capacity / 2);
      if (!Reallocate(out, capacity))
        throw std::bad_alloc();
    }
    std::memcpy(out.get() + length, piece.data(), piece.size());
    length += piece.size();
  }
  out.get()[length] = 0;
  // What growing reserved beyond the text goes back, where it can.
  Reallocate(out, length + 1);
  return out;
}

std::u16string ToUtf16(const xmlChar* text) {
  return text == nullptr ? std::u16string() : Utf8ToUtf16(reinterpret_cast<const char*>(text));
}

xmlNodePtr N(NodeHandle handle) {
  return reinterpret_cast<xmlNodePtr>(handle);
}
NodeHandle H(xmlNodePtr node) {
  return reinterpret_cast<NodeHandle>(node);
}

// Splits "p:local" into its prefix (empty when none) and local name.
std::pair<std::string, std::string> SplitName(const std::string& qualifiedName) {
  const size_t colon = qualifiedName.find(':');
  if (colon == std::string::npos)
    return {{}, qualifiedName};
  return {qualifiedName.substr(0, colon), qualifiedName.substr(colon + 1)};
}

bool IsXmlWhitespace(const xmlChar* text) {
  for (; *text != 0; ++text)
    if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n')
      return false;
  return true;
}

bool IsXmlWhitespace(const xmlChar* text, int length) {
  return std::all_of(text, text + length,
                     [](xmlChar c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

// libxml2's messages end in a line feed.
void TrimEnd(std::u16string& message) {
  while (!message.empty() && (message.back() == u'\n' || message.back() == u' '))
    message.pop_back();
}

// What one parse records through the parser's callbacks.
struct ParseState {
  explicit ParseState(size_t maxNodes) : maxNodes(maxNodes) {}

  bool refused = false;
  int refusedLine = 0;
  bool haveError = false;
  int firstLevel = 0;
  int firstLine = 0;
  std::string firstMessage;
  // The first report made outside the parse's context, such as a failed
  // decoding.
  std::string unattributedMessage;

  size_t maxNodes;
  // The nodes built so far, not counting texts of white space only (most of
  // them are dropped after the parse).
  size_t nodes = 0;
  bool tooManyNodes = false;
  int tooManyNodesLine = 0;
  // Whether the last content was character data, which the next characters
  // extend, and whether that text has been counted.
  bool inText = false;
  bool textCounted = false;
};

ParseState& StateOf(void* ctxt) {
  return *static_cast<ParseState*>(static_cast<xmlParserCtxtPtr>(ctxt)->_private);
}

// Keeps the first fatal error (else the first error): later ones are often
// consequences of it.
void RecordError(void*, xmlErrorPtr error) {
  if (error == nullptr || error->ctxt == nullptr || error->level < XML_ERR_ERROR)
    return;
  ParseState& state = StateOf(error->ctxt);
  const bool fatalFirst = error->level == XML_ERR_FATAL && state.firstLevel != XML_ERR_FATAL;
  if (state.haveError && !fatalFirst)
    return;
  state.haveError = true;
  state.firstLevel = error->level;
  state.firstLine = error->line;
  state.firstMessage = error->message == nullptr ? "" : error->message;
}

void RecordUnattributed(ParseState& state, const std::string& message) {
  if (state.unattributedMessage.empty())
    state.unattributedMessage = message;
}

// Reports without a parser context reach these two through the calling
// thread's handlers, which a parse points at its own state.
void RecordStructured(void* state, xmlErrorPtr error) {
  if (error == nullptr)
    return;
  if (error->ctxt != nullptr)
    RecordError(nullptr, error);
  else if (error->message != nullptr)
    RecordUnattributed(*static_cast<ParseState*>(state), error->message);
}

void RecordGeneric(void* state, const char* format, ...) {
  char message[256];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(message, sizeof message, format, arguments);
  va_end(arguments);
  RecordUnattributed(*static_cast<ParseState*>(state), message);
}

// Points the calling thread's error handlers at one parse for its duration.
class CapturedErrors {
public:
  explicit CapturedErrors(ParseState& state)
      : structured_(xmlStructuredError), structuredContext_(xmlStructuredErrorContext),
        generic_(xmlGenericError), genericContext_(xmlGenericErrorContext) {
    xmlSetStructuredErrorFunc(&state, RecordStructured);
    xmlSetGenericErrorFunc(&state, RecordGeneric);
  }
  ~CapturedErrors() {
    xmlSetStructuredErrorFunc(structuredContext_, structured_);
    xmlSetGenericErrorFunc(genericContext_, generic_);
  }
  CapturedErrors(const CapturedErrors&) = delete;
  CapturedErrors& operator=(const CapturedErrors&) = delete;

private:
  xmlStructuredErrorFunc structured_;
  void* structuredContext_;
  xmlGenericErrorFunc generic_;
  void* genericContext_;
};

// Node counting: each callback that builds nodes adds them, and the parse
// stops once there are more than allowed, before the rest is built.
void AddNodes(void* ctxt, size_t count) {
  ParseState& state = StateOf(ctxt);
  state.inText = false;
  state.nodes += count;
  if (state.nodes > state.maxNodes && !state.tooManyNodes) {
    state.tooManyNodes = true;
    state.tooManyNodesLine = xmlSAX2GetLineNumber(ctxt);
    xmlStopParser(static_cast<xmlParserCtxtPtr>(ctxt));
  }
}

void CountedStartElement(void* ctxt, const xmlChar* localname, const xmlChar* prefix,
                         const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                         int attributeCount, int defaultedCount, const xmlChar** attributes) {
  xmlSAX2StartElementNs(ctxt, localname, prefix, uri, namespaceCount, namespaces, attributeCount,
                        defaultedCount, attributes);
  AddNodes(ctxt, 1 + static_cast<size_t>(namespaceCount) + static_cast<size_t>(attributeCount));
}

void CountedEndElement(void* ctxt, const xmlChar* localname, const xmlChar* prefix,
                       const xmlChar* uri) {
  StateOf(ctxt).inText = false;
  xmlSAX2EndElementNs(ctxt, localname, prefix, uri);
}

// Adjacent character data makes one text node.
void CountedCharacters(void* ctxt, const xmlChar* text, int length) {
  xmlSAX2Characters(ctxt, text, length);
  ParseState& state = StateOf(ctxt);
  if (!state.inText)
    state.textCounted = false;
  if (!state.textCounted && !IsXmlWhitespace(text, length)) {
    AddNodes(ctxt, 1);
    state.textCounted = true;
  }
  state.inText = true;
}

void CountedCData(void* ctxt, const xmlChar* text, int length) {
  xmlSAX2CDataBlock(ctxt, text, length);
  AddNodes(ctxt, 1);
}

void CountedComment(void* ctxt, const xmlChar* text) {
  xmlSAX2Comment(ctxt, text);
  AddNodes(ctxt, 1);
}

void CountedInstruction(void* ctxt, const xmlChar* target, const xmlChar* data) {
  xmlSAX2ProcessingInstruction(ctxt, target, data);
  AddNodes(ctxt, 1);
}

void CountedReference(void* ctxt, const xmlChar* name) {
  xmlSAX2Reference(ctxt, name);
  AddNodes(ctxt, 1);
}

void CountNodes(xmlSAXHandler& sax) {
  sax.startElementNs = CountedStartElement;
  sax.endElementNs = CountedEndElement;
  sax.characters = CountedCharacters;
  sax.ignorableWhitespace = CountedCharacters;
  sax.cdataBlock = CountedCData;
  sax.comment = CountedComment;
  sax.processingInstruction = CountedInstruction;
  sax.reference = CountedReference;
}

// The node after `node` in document order, staying within `top`'s subtree and
// descending into elements only; nullptr past its end.
xmlNodePtr NextInTree(xmlNodePtr node, xmlNodePtr top) {
  if (node->children != nullptr && node->type == XML_ELEMENT_NODE)
    return node->children;
  while (node != top && node->next == nullptr)
    node = node->parent;
  return node == top ? nullptr : node->next;
}

// The nodes below `top`, attributes and namespace declarations included.
// Entity substitution copies the nodes of an entity's later references
// without callbacks, so the built tree is counted once more.
size_t TreeNodes(xmlNodePtr top) {
  size_t count = 0;
  xmlNodePtr node = top->children;
  while (node != nullptr) {
    ++count;
    if (node->type == XML_ELEMENT_NODE) {
      for (xmlNsPtr ns = node->nsDef; ns != nullptr; ns = ns->next)
        ++count;
      for (xmlAttrPtr attr = node->properties; attr != nullptr; attr = attr->next)
        ++count;
    }
    node = NextInTree(node, top);
  }
  return count;
}

// The bytes of the texts below `top`, the bulk of its text form.
size_t TextBytes(xmlNodePtr top) {
  size_t bytes = 0;
  for (xmlNodePtr node = top->children; node != nullptr; node = NextInTree(node, top))
    if (node->type == XML_TEXT_NODE && node->content != nullptr)
      bytes += std::strlen(reinterpret_cast<const char*>(node->content));
  return bytes;
}

// libxml2 writes a namespace name between the declaration's quotes as it is.
// While a tree is written, every name there that needs escaping holds its
// escaped form; the names come back afterwards.
class EscapedNamespaceNames {
public:
  explicit EscapedNamespaceNames(xmlNodePtr top) {
    try {
      EscapeBelow(top);
    } catch (...) {
      Restore();
      throw;
    }
  }
  ~EscapedNamespaceNames() { Restore(); }
  EscapedNamespaceNames(const EscapedNamespaceNames&) = delete;
  EscapedNamespaceNames& operator=(const EscapedNamespaceNames&) = delete;

private:
  void EscapeBelow(xmlNodePtr top) {
    xmlNodePtr node = top;
    while (node != nullptr) {
      if (node->type == XML_ELEMENT_NODE)
        for (xmlNsPtr ns = node->nsDef; ns != nullptr; ns = ns->next)
          Escape(ns);
      node = NextInTree(node, top);
    }
  }
  void Restore() {
    for (const auto& [ns, original] : swapped_) {
      xmlFree(const_cast<xmlChar*>(ns->href));
      ns->href = original;
    }
    swapped_.clear();
  }

  void Escape(xmlNsPtr ns) {
    if (ns->href == nullptr)
      return;
    const std::string_view name(reinterpret_cast<const char*>(ns->href));
    if (name.find_first_of("&<\"\t\n\r") == std::string_view::npos)
      return;
    std::string escaped;
    for (const char c : name) {
      switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\t':
        escaped += "&#9;";
        break;
      case '\n':
        escaped += "&#10;";
        break;
      case '\r':
        escaped += "&#13;";
        break;
      default:
        escaped += c;
      }
    }
    XmlPtr<xmlChar> copy(Checked(xmlStrdup(U8(escaped))));
    swapped_.emplace_back(ns, ns->href);
    ns->href = copy.release();
  }

  std::vector<std::pair<xmlNsPtr, const xmlChar*>> swapped_;
};

void CheckedEntityDecl(void* ctx, const xmlChar* name, int type, const xmlChar* publicId,
                       const xmlChar* systemId, xmlChar* content) {
  if (type == XML_INTERNAL_GENERAL_ENTITY || type == XML_INTERNAL_PARAMETER_ENTITY) {
    xmlSAX2EntityDecl(ctx, name, type, publicId, systemId, content);
    return;
  }
  ParseState& state = StateOf(ctx);
  state.refused = true;
  state.refusedLine = xmlSAX2GetLineNumber(ctx);
  xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
}

// Unlinks every text node that holds only whitespace, unless xml:space
// preserves it: such text between elements is layout, not content. The
// parser's depth limit bounds the recursion.
void DropWhitespaceText(xmlNodePtr parent) {
  xmlNodePtr node = parent->children;
  while (node != nullptr) {
    const xmlNodePtr next = node->next;
    if (node->type == XML_TEXT_NODE && IsXmlWhitespace(node->content) &&
        xmlNodeGetSpacePreserve(parent) != 1) {
      xmlUnlinkNode(node);
      xmlFreeNode(node);
    } else if (node->type == XML_ELEMENT_NODE) {
      DropWhitespaceText(node);
    }
    node = next;
  }
}

// The data of the declaration that the parsed input carried, or nothing when
// it had none. `declaration` is the input's own, when it starts with one.
std::optional<std::string> DeclarationData(xmlDocPtr doc, std::string_view declaration) {
  if (!declaration.empty()) {
    const std::string_view data = declaration.substr(5, declaration.size() - 7);
    const auto first = data.find_first_not_of(" \t\r\n");
    const auto last = data.find_last_not_of(" \t\r\n");
    if (first == std::string_view::npos)
      return std::string();
    return std::string(data.substr(first, last - first + 1));
  }
  if (doc->standalone == -1)
    return std::nullopt;
  std::string data = "version=\"" + std::string(reinterpret_cast<const char*>(doc->version)) + "\"";
  if (doc->encoding != nullptr)
    data += " encoding=\"" + std::string(reinterpret_cast<const char*>(doc->encoding)) + "\"";
  if (doc->standalone >= 0)
    data += doc->standalone == 1 ? " standalone=\"yes\"" : " standalone=\"no\"";
  return data;
}

// The parser's read callback over a ParseInput. Nothing may unwind through
// the parser: a failure to convert ends the input as an I/O error.
int ReadInput(void* context, char* buffer, int size) {
  try {
    return static_cast<ParseInput*>(context)->Read(buffer, size);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

class LibXml2Document final : public DomDocument {
public:
  explicit LibXml2Document(size_t maxNodes)
      : maxNodes_(maxNodes), doc_(Checked(xmlNewDoc(nullptr))) {}

  ~LibXml2Document() override {
    for (xmlNodePtr node : detached_)
      if (node->parent == nullptr)
        xmlFreeNode(node);
  }

  std::optional<ParseError> LoadText(std::u16string_view text) override {
    TextInput input(text);
    return Load(input);
  }

  std::optional<ParseError> LoadBytes(std::string_view bytes) override {
    ByteInput input(bytes);
    return Load(input);
  }

  NodeHandle DocumentNode() override { return H(reinterpret_cast<xmlNodePtr>(doc_.get())); }
  NodeHandle Parent(NodeHandle node) override { return H(N(node)->parent); }
  NodeHandle FirstChild(NodeHandle node) override { return H(N(node)->children); }
  NodeHandle LastChild(NodeHandle node) override { return H(N(node)->last); }
  NodeHandle NextSibling(NodeHandle node) override {
    return IsDocument(N(node)) ? nullptr : H(N(node)->next);
  }
  NodeHandle PreviousSibling(NodeHandle node) override {
    return IsDocument(N(node)) ? nullptr : H(N(node)->prev);
  }

  TNodeType Type(NodeHandle handle) override {
    const xmlElementType type = N(handle)->type;
    if (type >= XML_ELEMENT_NODE && type <= XML_NOTATION_NODE)
      return static_cast<TNodeType>(type);
    switch (type) {
    case XML_HTML_DOCUMENT_NODE:
      return TNodeType::ntDocument;
    case XML_DTD_NODE:
      return TNodeType::ntDocType;
    case XML_ENTITY_DECL:
      return TNodeType::ntEntity;
    default:
      return TNodeType::ntReserved;
    }
  }

  std::u16string Name(NodeHandle handle) override {
    const xmlNodePtr node = N(handle);
    switch (Type(handle)) {
    case TNodeType::ntElement:
      if (node->ns != nullptr && node->ns->prefix != nullptr)
        return ToUtf16(node->ns->prefix) + u":" + ToUtf16(node->name);
      return ToUtf16(node->name);
    case TNodeType::ntText:
      return u"#text";
    case TNodeType::ntCData:
      return u"#cdata-section";
    case TNodeType::ntComment:
      return u"#comment";
    case TNodeType::ntDocument:
      return u"#document";
    case TNodeType::ntDocFragment:
      return u"#document-fragment";
    default:
      return ToUtf16(node->name);
    }
  }

  std::u16string LocalName(NodeHandle handle) override {
    const xmlNodePtr node = N(handle);
    switch (Type(handle)) {
    case TNodeType::ntElement:
      if (node->ns == nullptr)
        return Utf8ToUtf16(SplitName(reinterpret_cast<const char*>(node->name)).second);
      return ToUtf16(node->name);
    case TNodeType::ntProcessingInstr:
    case TNodeType::ntEntityRef:
    case TNodeType::ntDocType:
    case TNodeType::ntEntity:
    case TNodeType::ntNotation:
      return ToUtf16(node->name);
    default:
      return {};
    }
  }

  std::u16string Prefix(NodeHandle handle) override {
    const xmlNodePtr node = N(handle);
    if (node->type != XML_ELEMENT_NODE)
      return {};
    if (node->ns == nullptr)
      return Utf8ToUtf16(SplitName(reinterpret_cast<const char*>(node->name)).first);
    return ToUtf16(node->ns->prefix);
  }

  std::u16string NamespaceURI(NodeHandle handle) override {
    const xmlNodePtr node = N(handle);
    if (node->type != XML_ELEMENT_NODE || node->ns == nullptr)
      return {};
    return ToUtf16(node->ns->href);
  }

  std::u16string Value(NodeHandle handle) override {
    return HoldsValue(N(handle)) ? ToUtf16(N(handle)->content) : std::u16string();
  }

  void SetValue(NodeHandle handle, std::u16string_view value) override {
    const xmlNodePtr node = N(handle);
    if (!HoldsValue(node))
      return;
    XmlPtr<xmlChar> content = XmlStringOf(value);
    // Releases the old value however libxml2 holds it, then hands the new
    // one over rather than copying it.
    xmlNodeSetContent(node, nullptr);
    node->content = content.release();
  }

  std::vector<Attribute> Attributes(NodeHandle element) override {
    std::vector<Attribute> attributes;
    if (N(element)->type != XML_ELEMENT_NODE)
      return attributes;
    for (xmlNsPtr ns = N(element)->nsDef; ns != nullptr; ns = ns->next)
      attributes.push_back(
          {DeclarationName(ns), std::u16string(kXmlnsNamespace), ToUtf16(ns->href)});
    for (xmlAttrPtr attr = N(element)->properties; attr != nullptr; attr = attr->next)
      attributes.push_back({AttributeName(attr),
                            attr->ns == nullptr ? std::u16string() : ToUtf16(attr->ns->href),
                            AttributeValue(attr)});
    return attributes;
  }

  std::optional<std::u16string> GetAttribute(NodeHandle element,
                                             std::u16string_view qualifiedName) override {
    if (N(element)->type != XML_ELEMENT_NODE)
      return std::nullopt;
    for (xmlNsPtr ns = N(element)->nsDef; ns != nullptr; ns = ns->next)
      if (DeclarationName(ns) == qualifiedName)
        return ToUtf16(ns->href);
    for (xmlAttrPtr attr = N(element)->properties; attr != nullptr; attr = attr->next)
      if (AttributeName(attr) == qualifiedName)
        return AttributeValue(attr);
    return std::nullopt;
  }

  void SetAttribute(NodeHandle element, std::u16string_view namespaceURI,
                    std::u16string_view qualifiedName, std::u16string_view value) override {
    const xmlNodePtr node = N(element);
    const std::string name = ToUtf8(qualifiedName);
    const std::string text = ToUtf8(value);
    if (namespaceURI == kXmlnsNamespace || name == "xmlns" || name.starts_with("xmlns:")) {
      Declare(node, name == "xmlns" ? std::string() : SplitName(name).second, text);
      return;
    }
    xmlNsPtr ns = nullptr;
    const auto [prefix, local] = SplitName(name);
    if (!namespaceURI.empty() && !prefix.empty()) {
      const std::string uri = ToUtf8(namespaceURI);
      ns = xmlSearchNs(doc_.get(), node, U8(prefix));
      if (ns == nullptr || !xmlStrEqual(ns->href, U8(uri)))
        ns = Declare(node, prefix, uri);
    }
    Checked(xmlSetNsProp(node, ns, U8(ns == nullptr ? name : local), U8(text)));
  }

  NodeHandle CreateElement(std::u16string_view qualifiedName,
                           std::u16string_view namespaceURI) override {
    const std::string name = ToUtf8(qualifiedName);
    if (namespaceURI.empty())
      return H(Detached(xmlNewDocNode(doc_.get(), nullptr, U8(name), nullptr)));
    // The namespace stays unbound until the element is placed where a
    // declaration of it is in scope, or declares it itself.
    const auto [prefix, local] = SplitName(name);
    xmlNsPtr ns =
        Checked(xmlNewNs(nullptr, U8(ToUtf8(namespaceURI)), prefix.empty() ? nullptr : U8(prefix)));
    unbound_.emplace_back(ns);
    xmlNodePtr node = Detached(xmlNewDocNode(doc_.get(), nullptr, U8(local), nullptr));
    node->ns = ns;
    return H(node);
  }

  NodeHandle CreateTextNode(std::u16string_view text) override {
    return H(Detached(xmlNewDocText(doc_.get(), U8(ToUtf8(text)))));
  }

  NodeHandle CreateProcessingInstruction(std::u16string_view target,
                                         std::u16string_view data) override {
    return H(Detached(xmlNewDocPI(doc_.get(), U8(ToUtf8(target)), U8(ToUtf8(data)))));
  }

  void AppendChild(NodeHandle parent, NodeHandle child) override {
    InsertBefore(parent, child, nullptr);
  }

  // Links by hand: xmlAddChild and friends merge adjacent text nodes, which
  // would free a node whose handle is still held.
  void InsertBefore(NodeHandle parentHandle, NodeHandle childHandle,
                    NodeHandle referenceHandle) override {
    const xmlNodePtr parent = N(parentHandle);
    const xmlNodePtr child = N(childHandle);
    const xmlNodePtr reference = N(referenceHandle);
    if (child->parent != nullptr)
      xmlUnlinkNode(child);
    detached_.erase(child);
    child->parent = parent;
    child->next = reference;
    child->prev = reference == nullptr ? parent->last : reference->prev;
    if (child->prev != nullptr)
      child->prev->next = child;
    else
      parent->children = child;
    if (reference != nullptr)
      reference->prev = child;
    else
      parent->last = child;
    BindNamespaces(child);
  }

  void RemoveChild(NodeHandle parent, NodeHandle child) override {
    if (N(child)->parent != N(parent))
      return;
    xmlUnlinkNode(N(child));
    detached_.insert(N(child));
  }

  std::u16string Serialize(NodeHandle handle) override {
    return Utf8ToUtf16(SerializeUtf8(handle));
  }

  std::string SerializeUtf8(NodeHandle handle) override {
    const xmlNodePtr node = N(handle);
    // Room for the texts and half again for their escapes, so that a large
    // tree is written without regrowing; room never written costs no memory.
    const size_t texts = TextBytes(node);
    std::string text;
    text.reserve(texts + texts / 2 + 4096);
    if (!IsDocument(node)) {
      SaveTree(node, text);
      return text;
    }
    for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
      SaveTree(child, text);
      text += "\r\n";
    }
    return text;
  }

private:
  static bool IsDocument(xmlNodePtr node) {
    return node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE;
  }

  static bool HoldsValue(xmlNodePtr node) {
    return node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE ||
           node->type == XML_COMMENT_NODE || node->type == XML_PI_NODE;
  }

  static std::u16string DeclarationName(xmlNsPtr ns) {
    return ns->prefix == nullptr ? u"xmlns" : u"xmlns:" + ToUtf16(ns->prefix);
  }

  static std::u16string AttributeName(xmlAttrPtr attr) {
    if (attr->ns != nullptr && attr->ns->prefix != nullptr)
      return ToUtf16(attr->ns->prefix) + u":" + ToUtf16(attr->name);
    return ToUtf16(attr->name);
  }

  std::u16string AttributeValue(xmlAttrPtr attr) {
    XmlPtr<xmlChar> value(xmlNodeListGetString(doc_.get(), attr->children, 1));
    return ToUtf16(value.get());
  }

  xmlNodePtr Detached(xmlNodePtr node) {
    Checked(node);
    detached_.insert(node);
    return node;
  }

  // Adds (or updates) the declaration of `prefix` on `node`, and binds the
  // node to it when the node waited for that namespace.
  xmlNsPtr Declare(xmlNodePtr node, const std::string& prefix, const std::string& uri) {
    const xmlChar* key = prefix.empty() ? nullptr : U8(prefix);
    xmlNsPtr ns = node->nsDef;
    while (ns != nullptr && !xmlStrEqual(ns->prefix, key))
      ns = ns->next;
    if (ns != nullptr) {
      xmlFree(const_cast<xmlChar*>(ns->href));
      ns->href = Checked(xmlStrdup(U8(uri)));
    } else {
      ns = Checked(xmlNewNs(node, U8(uri), key));
    }
    if (IsUnbound(node->ns) && xmlStrEqual(node->ns->prefix, ns->prefix) &&
        xmlStrEqual(node->ns->href, ns->href))
      node->ns = ns;
    return ns;
  }

  bool IsUnbound(xmlNsPtr ns) const {
    return ns != nullptr && std::any_of(unbound_.begin(), unbound_.end(),
                                        [ns](const XmlPtr<xmlNs>& u) { return u.get() == ns; });
  }

  // Binds the elements of a newly placed subtree that wait for a namespace to
  // a matching declaration now in scope.
  void BindNamespaces(xmlNodePtr node) {
    if (unbound_.empty() || node->type != XML_ELEMENT_NODE)
      return;
    if (IsUnbound(node->ns)) {
      xmlNsPtr ns = xmlSearchNs(doc_.get(), node, node->ns->prefix);
      if (ns != nullptr && ns != node->ns && xmlStrEqual(ns->href, node->ns->href))
        node->ns = ns;
    }
    for (xmlNodePtr child = node->children; child != nullptr; child = child->next)
      BindNamespaces(child);
  }

  // Appends the node's text form to `out` as libxml2 writes it, piece by
  // piece, with no whole copy in between.
  void SaveTree(xmlNodePtr node, std::string& out) {
    const EscapedNamespaceNames escaped(node);
    SaveTarget target{out};
    {
      XmlPtr<xmlSaveCtxt> save(
          Checked(xmlSaveToIO(SaveTarget::Write, nullptr, &target, "UTF-8", XML_SAVE_NO_DECL)));
      xmlSaveTree(save.get(), node);
    }
    if (target.failed)
      throw std::bad_alloc();
  }

  // Where SaveTree's pieces go. No exception may cross libxml2, so a failed
  // append is noted, reported to libxml2 as a failed write, and thrown after.
  struct SaveTarget {
    std::string& out;
    bool failed = false;

    static int Write(void* context, const char* buffer, int length) {
      auto& target = *static_cast<SaveTarget*>(context);
      try {
        target.out.append(buffer, static_cast<size_t>(length));
        return length;
      } catch (const std::bad_alloc&) {
        target.failed = true;
        return -1;
      }
    }
  };

  std::optional<ParseError> Load(ParseInput& input) {
    InitParserOnce();
    XmlPtr<xmlParserCtxt> ctxt(Checked(xmlNewParserCtxt()));
    ParseState state(maxNodes_);
    ctxt->_private = &state;
    ctxt->sax->serror = RecordError;
    ctxt->sax->entityDecl = CheckedEntityDecl;
    ctxt->sax->externalSubset = nullptr;
    CountNodes(*ctxt->sax);
    XmlPtr<xmlDoc> doc;
    {
      const CapturedErrors captured(state);
      doc.reset(xmlCtxtReadIO(ctxt.get(), ReadInput, nullptr, &input, nullptr, input.Encoding(),
                              kParseOptions));
    }
    if (doc != nullptr && !state.tooManyNodes && !state.refused && ctxt->wellFormed) {
      DropWhitespaceText(reinterpret_cast<xmlNodePtr>(doc.get()));
      state.tooManyNodes = TreeNodes(reinterpret_cast<xmlNodePtr>(doc.get())) > maxNodes_;
    }
    // A parse that was stopped never loads: some of libxml2's limits (a text
    // node over ten million characters) stop it without marking the document
    // ill-formed, which would hand on a truncated text.
    const bool stopped = ctxt->disableSAX != 0;
    if (doc == nullptr || !ctxt->wellFormed || !ctxt->nsWellFormed || stopped || state.refused ||
        state.tooManyNodes) {
      ParseError error;
      if (state.tooManyNodes) {
        error.reason = TooManyNodesReason(maxNodes_);
        error.line = state.tooManyNodesLine;
      } else if (state.refused) {
        error.reason = kExternalEntityRefused;
        error.line = state.refusedLine;
      } else if (state.haveError) {
        error.reason = Utf8ToUtf16(state.firstMessage);
        error.line = state.firstLine;
      } else {
        error.reason = u"Document is not well-formed";
      }
      TrimEnd(error.reason);
      if (!state.unattributedMessage.empty() && !state.tooManyNodes && !state.refused) {
        std::u16string unattributed = Utf8ToUtf16(state.unattributedMessage);
        TrimEnd(unattributed);
        error.reason += u" (" + unattributed + u")";
      }
      error.sourceText = input.SourceLine(error.line, kSourceTextUnits);
      return error;
    }
    if (const auto data = DeclarationData(doc.get(), input.Declaration())) {
      xmlNodePtr pi = Checked(xmlNewDocPI(doc.get(), BAD_CAST "xml", U8(*data)));
      if (doc->children == nullptr)
        xmlAddChild(reinterpret_cast<xmlNodePtr>(doc.get()), pi);
      else
        xmlAddPrevSibling(doc->children, pi);
    }
    doc_ = std::move(doc);
    return std::nullopt;
  }

  const size_t maxNodes_;
  // Declared first so that it is freed last: elements may point at them.
  std::vector<XmlPtr<xmlNs>> unbound_;
  XmlPtr<xmlDoc> doc_;
  std::unordered_set<xmlNodePtr> detached_;
};

} // namespace

std::unique_ptr<DomDocument> CreateDomDocument(size_t maxNodes) {
  InitParserOnce();
  return std::make_unique<LibXml2Document>(maxNodes);
}

} // namespace tellavo::dom
