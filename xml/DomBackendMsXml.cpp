// The DOM of the XML document layer on MSXML, reached through COM.
//
// Input comes from the network, so the parser is kept from reaching anything
// outside the text it is given: external resolution and validation are off,
// and a document with a document type declaration is refused before the
// parser sees it (a SOAP message may not carry one, and a DTD is where
// external entities and entity expansion come from). Where the MSXML version
// knows them, the parser refuses DTDs itself as well and bounds the nesting
// depth. A document with more nodes than allowed is refused once loaded.
//
// Node handles are the COM identities (IUnknown) of the MSXML nodes; the
// document keeps one reference to every node it has handed out, so a handle
// stays valid while the document lives, in the tree or not.
#include <msxml2.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <new>
#include <optional>
#include <unordered_map>

#include "Platform.h"
#include "common/Bstr.h"
#include "common/ComPtr.h"
#include "common/ErrorConversion.h"
#include "common/Exceptions.h"
#include "common/Utf.h"
#include "common/Variant.h"
#include "common/WideText.h"
#include "xml/DomBackend.h"
#include "xml/XMLNames.h"

namespace tellavo::dom {
namespace {

// The DOM document classes, tried in this order: MSXML 4.0, 3.0, 2.6, and
// the version-independent class.
constexpr CLSID kDocumentClasses[] = {
    {0x88D969C0, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}},
    {0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}},
    {0xF5078F1B, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}},
    {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}},
};
constexpr IID kIXMLDOMDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr DWORD kDocumentContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;
constexpr std::u16string_view kNotInstalled = u"Microsoft MSXML is not installed";
// The deepest element nesting a document may have, as the posix parser allows.
constexpr long kMaxElementDepth = 256;
// The nodes that count against a document's limit: all but the document node
// and texts of white space only, which are dropped after loading.
constexpr std::u16string_view kCountedNodes =
    u"//node()[not(self::text()) or normalize-space()]|//@*";

// A text as a BSTR that is never null: some DOM methods take the null BSTR
// for "absent" rather than for the empty string.
BStr Allocated(std::u16string_view text) {
  const BSTR value = SysAllocStringLen(Wide(text.data()), static_cast<UINT>(text.size()));
  if (value == nullptr)
    throw std::bad_alloc();
  return BStr::Attach(value);
}

// VARIANTs passed in; a text one borrows the BSTR, which outlives the call.
VARIANT TextArgument(const BStr& text) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = text.Get();
  return value;
}

VARIANT IntArgument(long number) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = number;
  return value;
}

VARIANT BoolArgument(bool flag) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BOOL;
  value.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
  return value;
}

// A getter's BSTR result.
template <class Call> std::u16string TextOf(Call&& call) {
  BStr text;
  CheckSafeCall(call(text.Out()));
  return text.Text();
}

// A getter's interface result; empty when the DOM has none.
template <class T, class Call> ComPtr<T> ObjectOf(Call&& call) {
  ComPtr<T> object;
  CheckSafeCall(call(object.Out()));
  return object;
}

struct SafeArrayDestroyer {
  void operator()(SAFEARRAY* array) const { SafeArrayDestroy(array); }
};
using OwnedSafeArray = std::unique_ptr<SAFEARRAY, SafeArrayDestroyer>;

// The bytes as a one-dimensional array of VT_UI1, the form in which the
// parser takes a byte stream and decodes it itself.
OwnedSafeArray ByteArray(std::string_view bytes) {
  if (bytes.size() > ULONG_MAX)
    throw std::bad_alloc();
  OwnedSafeArray array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size())));
  if (array == nullptr)
    throw std::bad_alloc();
  void* data = nullptr;
  OleCheck(SafeArrayAccessData(array.get(), &data));
  std::copy(bytes.begin(), bytes.end(), static_cast<char*>(data));
  OleCheck(SafeArrayUnaccessData(array.get()));
  return array;
}

constexpr std::u16string_view kDtdRefused = u"DTD is prohibited";

// Whether `text` has the ASCII characters `ascii` at `at`.
template <class Char>
bool HasAt(std::basic_string_view<Char> text, size_t at, std::string_view ascii) {
  if (at > text.size() || text.size() - at < ascii.size())
    return false;
  return std::equal(ascii.begin(), ascii.end(), text.begin() + static_cast<std::ptrdiff_t>(at),
                    [](char a, Char b) { return static_cast<Char>(a) == b; });
}

// Line `line` (from 1) of a text whose lines end in CR LF, CR or LF.
template <class Char> std::u16string LineOf(std::basic_string_view<Char> text, int line) {
  constexpr Char lineEnds[] = {'\r', '\n', 0};
  for (int current = 1; current < line; ++current) {
    const size_t end = text.find_first_of(lineEnds);
    if (end == text.npos)
      return {};
    text.remove_prefix(end + (HasAt(text, end, "\r\n") ? 2 : 1));
  }
  text = text.substr(0, text.find_first_of(lineEnds));
  return std::u16string(text.begin(), text.end());
}

// The refusal of a document whose prolog holds a document type declaration;
// none for any other text. Only the prolog is looked at: comments,
// processing instructions and white space before the first markup that is
// neither.
template <class Char> std::optional<ParseError> DoctypeRefusal(std::basic_string_view<Char> text) {
  size_t at = 0;
  int line = 1;
  // Moves past `count` characters, counting the lines they end.
  const auto skip = [&](size_t count) {
    for (const size_t end = std::min(text.size(), at + count); at < end; ++at)
      if (text[at] == Char('\n') || (text[at] == Char('\r') && !HasAt(text, at + 1, "\n")))
        ++line;
  };
  const auto skipPast = [&](std::string_view close) {
    size_t end = at;
    while (end < text.size() && !HasAt(text, end, close))
      ++end;
    skip(end - at + close.size());
  };
  if constexpr (sizeof(Char) == 1)
    at = HasAt(text, 0, "\xEF\xBB\xBF") ? 3 : 0;
  else
    at = !text.empty() && text[0] == 0xFEFF ? 1 : 0;
  while (at < text.size()) {
    const Char c = text[at];
    if (c == Char(' ') || c == Char('\t') || c == Char('\r') || c == Char('\n'))
      skip(1);
    else if (HasAt(text, at, "<?"))
      skipPast("?>");
    else if (HasAt(text, at, "<!--"))
      skipPast("-->");
    else if (HasAt(text, at, "<!DOCTYPE"))
      return ParseError{std::u16string(kDtdRefused), line, LineOf(text, line)};
    else
      break;
  }
  return std::nullopt;
}

// The same for a byte stream: UTF-16 by its byte-order mark or by a first
// '<' in two bytes, else any encoding in which markup is ASCII.
std::optional<ParseError> DoctypeRefusal(std::string_view bytes) {
  using namespace std::string_view_literals;
  const bool littleEndian = bytes.starts_with("\xFF\xFE") || bytes.starts_with("<\0"sv);
  if (!littleEndian && !bytes.starts_with("\xFE\xFF") && !bytes.starts_with("\0<"sv))
    return DoctypeRefusal<char>(bytes);
  std::u16string text;
  for (size_t i = bytes[0] == '<' || bytes[1] == '<' ? 0 : 2; i + 1 < bytes.size(); i += 2) {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    text += static_cast<char16_t>(littleEndian ? a | (b << 8) : (a << 8) | b);
  }
  return DoctypeRefusal<char16_t>(text);
}

bool IsDeclarationName(std::u16string_view name) {
  return name == u"xmlns" || name.starts_with(u"xmlns:");
}

// Sets the parser properties that the MSXML version may not know. A version
// that refuses one parses without it; the refusal's error object is dropped
// so that no later failure reports it.
void SetOptionalProperties(const ComPtr<IXMLDOMDocument>& document) {
  const auto document2 = document.Query<IXMLDOMDocument2>(kIXMLDOMDocument2);
  if (!document2)
    return;
  const BStr prohibitDtd = Allocated(u"ProhibitDTD");
  if (FAILED(document2->setProperty(prohibitDtd.Get(), BoolArgument(true))))
    SetErrorInfo(0, nullptr);
  const BStr maxDepth = Allocated(u"MaxElementDepth");
  if (FAILED(document2->setProperty(maxDepth.Get(), IntArgument(kMaxElementDepth))))
    SetErrorInfo(0, nullptr);
  // Node counting asks in XPath, which some versions only take when told.
  const BStr language = Allocated(u"SelectionLanguage");
  const BStr xpath = Allocated(u"XPath");
  if (FAILED(document2->setProperty(language.Get(), TextArgument(xpath))))
    SetErrorInfo(0, nullptr);
}

// The first DOM document class that can be created, as IXMLDOMDocument.
ComPtr<IXMLDOMDocument> CreatePlatformDocument() {
  ComPtr<IDispatch> created;
  HRESULT result = REGDB_E_CLASSNOTREG;
  for (const CLSID& documentClass : kDocumentClasses) {
    result = CoCreateInstance(documentClass, nullptr, kDocumentContext, IID_IDispatch,
                              reinterpret_cast<void**>(created.Out()));
    if (SUCCEEDED(result) && created)
      break;
  }
  if (!created)
    throw EOleSysError(u"", FAILED(result) ? result : E_NOINTERFACE);
  auto document = created.Query<IXMLDOMDocument>(IID_IXMLDOMDocument);
  if (!document)
    throw Exception(std::u16string(kNotInstalled));
  return document;
}

class MsXmlDocument final : public DomDocument {
public:
  MsXmlDocument(ComPtr<IXMLDOMDocument> document, size_t maxNodes)
      : document_(std::move(document)), maxNodes_(maxNodes) {
    // White space is kept while parsing and the white-space-only texts are
    // dropped afterwards: a parser that drops them itself may also take
    // white space from texts that hold more, such as the line feed after an
    // escaped carriage return.
    CheckSafeCall(document_->put_preserveWhiteSpace(VARIANT_TRUE));
    CheckSafeCall(document_->put_resolveExternals(VARIANT_FALSE));
    CheckSafeCall(document_->put_validateOnParse(VARIANT_FALSE));
    CheckSafeCall(document_->put_async(VARIANT_FALSE));
    SetOptionalProperties(document_);
  }

  std::optional<ParseError> LoadText(std::u16string_view text) override {
    if (auto refusal = DoctypeRefusal(text))
      return refusal;
    const BStr source = Allocated(text);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    CheckSafeCall(document_->loadXML(source.Get(), &loaded));
    return Report(loaded);
  }

  std::optional<ParseError> LoadBytes(std::string_view bytes) override {
    if (auto refusal = DoctypeRefusal(bytes))
      return refusal;
    const OwnedSafeArray array = ByteArray(bytes);
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_ARRAY | VT_UI1;
    source.parray = array.get();
    VARIANT_BOOL loaded = VARIANT_FALSE;
    CheckSafeCall(document_->load(source, &loaded));
    return Report(loaded);
  }

  NodeHandle DocumentNode() override { return Hold(ComPtr<IXMLDOMNode>::Share(document_.Get())); }
  NodeHandle Parent(NodeHandle node) override { return Walk(node, &IXMLDOMNode::get_parentNode); }
  NodeHandle FirstChild(NodeHandle node) override {
    return Walk(node, &IXMLDOMNode::get_firstChild);
  }
  NodeHandle LastChild(NodeHandle node) override { return Walk(node, &IXMLDOMNode::get_lastChild); }
  NodeHandle NextSibling(NodeHandle node) override {
    return Walk(node, &IXMLDOMNode::get_nextSibling);
  }
  NodeHandle PreviousSibling(NodeHandle node) override {
    return Walk(node, &IXMLDOMNode::get_previousSibling);
  }

  TNodeType Type(NodeHandle node) override {
    DOMNodeType type = NODE_INVALID;
    CheckSafeCall(N(node)->get_nodeType(&type));
    return type >= NODE_ELEMENT && type <= NODE_NOTATION ? static_cast<TNodeType>(type)
                                                         : TNodeType::ntReserved;
  }

  std::u16string Name(NodeHandle node) override {
    return TextOf([&](BSTR* out) { return N(node)->get_nodeName(out); });
  }

  std::u16string LocalName(NodeHandle node) override {
    switch (Type(node)) {
    case TNodeType::ntElement:
      return TextOf([&](BSTR* out) { return N(node)->get_baseName(out); });
    case TNodeType::ntProcessingInstr:
    case TNodeType::ntEntityRef:
    case TNodeType::ntDocType:
    case TNodeType::ntEntity:
    case TNodeType::ntNotation:
      return Name(node);
    default:
      return {};
    }
  }

  std::u16string Prefix(NodeHandle node) override {
    if (Type(node) != TNodeType::ntElement)
      return {};
    return TextOf([&](BSTR* out) { return N(node)->get_prefix(out); });
  }

  std::u16string NamespaceURI(NodeHandle node) override {
    if (Type(node) != TNodeType::ntElement)
      return {};
    return TextOf([&](BSTR* out) { return N(node)->get_namespaceURI(out); });
  }

  std::u16string Value(NodeHandle node) override {
    if (!HoldsValue(node))
      return {};
    OwnedVariant value;
    CheckSafeCall(N(node)->get_nodeValue(value.Out()));
    return value.Text();
  }

  void SetValue(NodeHandle node, std::u16string_view value) override {
    if (!HoldsValue(node))
      return;
    const BStr text = Allocated(value);
    CheckSafeCall(N(node)->put_nodeValue(TextArgument(text)));
  }

  std::vector<Attribute> Attributes(NodeHandle element) override {
    if (Type(element) != TNodeType::ntElement)
      return {};
    std::vector<Attribute> declarations;
    std::vector<Attribute> others;
    for (Attribute& attribute : MapItems(element))
      (attribute.namespaceURI == kXmlnsNamespace ? declarations : others)
          .push_back(std::move(attribute));
    // An element created in a namespace that its scope does not bind declares
    // that namespace itself when written, whether or not the map shows the
    // declaration: listing it keeps prefix look-ups from missing it.
    const std::u16string uri = NamespaceURI(element);
    const std::u16string prefix = Prefix(element);
    const std::u16string ownDeclaration = xml::DeclarationName(prefix);
    if (!uri.empty() && !Lists(declarations, ownDeclaration) &&
        Binding(Parent(element), prefix) != uri)
      declarations.push_back({ownDeclaration, std::u16string(kXmlnsNamespace), uri});
    declarations.insert(declarations.end(), std::make_move_iterator(others.begin()),
                        std::make_move_iterator(others.end()));
    return declarations;
  }

  std::optional<std::u16string> GetAttribute(NodeHandle element,
                                             std::u16string_view qualifiedName) override {
    for (Attribute& attribute : Attributes(element))
      if (attribute.name == qualifiedName)
        return std::move(attribute.value);
    return std::nullopt;
  }

  void SetAttribute(NodeHandle element, std::u16string_view namespaceURI,
                    std::u16string_view qualifiedName, std::u16string_view value) override {
    const BStr name = Allocated(qualifiedName);
    const BStr text = Allocated(value);
    if (IsDeclarationName(qualifiedName) && DeclaresOwnNamespace(element, qualifiedName, value))
      return;
    if (namespaceURI.empty() || namespaceURI == kXmlnsNamespace ||
        IsDeclarationName(qualifiedName)) {
      // MSXML takes a declaration as the plain attribute that writes it.
      const auto target =
          ComPtr<IXMLDOMNode>::Share(N(element)).Query<IXMLDOMElement>(IID_IXMLDOMElement);
      if (target)
        CheckSafeCall(target->setAttribute(name.Get(), TextArgument(text)));
      return;
    }
    const BStr uri = Allocated(namespaceURI);
    const auto attribute = ObjectOf<IXMLDOMNode>([&](IXMLDOMNode** out) {
      return document_->createNode(IntArgument(NODE_ATTRIBUTE), name.Get(), uri.Get(), out);
    });
    CheckSafeCall(attribute->put_nodeValue(TextArgument(text)));
    const auto map = ObjectOf<IXMLDOMNamedNodeMap>(
        [&](IXMLDOMNamedNodeMap** out) { return N(element)->get_attributes(out); });
    if (map)
      ObjectOf<IXMLDOMNode>(
          [&](IXMLDOMNode** out) { return map->setNamedItem(attribute.Get(), out); });
  }

  NodeHandle CreateElement(std::u16string_view qualifiedName,
                           std::u16string_view namespaceURI) override {
    const BStr name = Allocated(qualifiedName);
    // No namespace is the null BSTR: an empty but allocated one can be taken
    // as a namespace of its own, which binds a prefix to "" and is then
    // written out as an (ill-formed) empty prefix declaration.
    const BStr uri(namespaceURI);
    return Hold(ObjectOf<IXMLDOMNode>([&](IXMLDOMNode** out) {
      return document_->createNode(IntArgument(NODE_ELEMENT), name.Get(), uri.Get(), out);
    }));
  }

  NodeHandle CreateTextNode(std::u16string_view text) override {
    const BStr data = Allocated(text);
    const auto node = ObjectOf<IXMLDOMText>(
        [&](IXMLDOMText** out) { return document_->createTextNode(data.Get(), out); });
    return Hold(ComPtr<IXMLDOMNode>::Share(node.Get()));
  }

  NodeHandle CreateProcessingInstruction(std::u16string_view target,
                                         std::u16string_view data) override {
    const BStr name = Allocated(target);
    const BStr text = Allocated(data);
    const auto node =
        ObjectOf<IXMLDOMProcessingInstruction>([&](IXMLDOMProcessingInstruction** out) {
          return document_->createProcessingInstruction(name.Get(), text.Get(), out);
        });
    return Hold(ComPtr<IXMLDOMNode>::Share(node.Get()));
  }

  void AppendChild(NodeHandle parent, NodeHandle child) override {
    ObjectOf<IXMLDOMNode>([&](IXMLDOMNode** out) { return N(parent)->appendChild(N(child), out); });
  }

  void InsertBefore(NodeHandle parent, NodeHandle child, NodeHandle reference) override {
    if (reference == nullptr) {
      AppendChild(parent, child);
      return;
    }
    VARIANT before;
    VariantInit(&before);
    before.vt = VT_DISPATCH;
    before.pdispVal = N(reference);
    ObjectOf<IXMLDOMNode>(
        [&](IXMLDOMNode** out) { return N(parent)->insertBefore(N(child), before, out); });
  }

  void RemoveChild(NodeHandle parent, NodeHandle child) override {
    // A node that is not the parent's child stays where it is, as the
    // interface promises; MSXML would refuse the call instead.
    if (Parent(child) != parent)
      return;
    ObjectOf<IXMLDOMNode>([&](IXMLDOMNode** out) { return N(parent)->removeChild(N(child), out); });
  }

  std::u16string Serialize(NodeHandle node) override {
    return TextOf([&](BSTR* out) { return N(node)->get_xml(out); });
  }

  std::string SerializeUtf8(NodeHandle node) override { return Utf16ToUtf8(Serialize(node)); }

private:
  using NodeGetter = HRESULT (WINAPI IXMLDOMNode::*)(IXMLDOMNode**);

  // The node that `getter` leads to from `node`.
  NodeHandle Walk(NodeHandle node, NodeGetter getter) {
    return Hold(ObjectOf<IXMLDOMNode>([&](IXMLDOMNode** out) { return (N(node)->*getter)(out); }));
  }

  // Keeps the node and gives its handle: the same node always has the same
  // handle, whichever way it was reached.
  NodeHandle Hold(ComPtr<IXMLDOMNode> node) {
    if (!node)
      return nullptr;
    // Every node here belongs to this one document, so a document node
    // reached by walking is this document, whatever COM identity the DOM
    // gives the object it hands out for it.
    DOMNodeType type = NODE_INVALID;
    CheckSafeCall(node->get_nodeType(&type));
    if (type == NODE_DOCUMENT)
      node = ComPtr<IXMLDOMNode>::Share(document_.Get());
    IUnknown* identity = node.Query<IUnknown>(IID_IUnknown).Get();
    if (identity == nullptr)
      throw EOleSysError(u"", E_NOINTERFACE);
    nodes_.try_emplace(identity, std::move(node));
    return reinterpret_cast<NodeHandle>(identity);
  }

  IXMLDOMNode* N(NodeHandle handle) const {
    return nodes_.at(reinterpret_cast<IUnknown*>(handle)).Get();
  }

  // The items of an element's attribute map, each name once, in map order.
  // The walk asks for one item past the count: a map that hands out one
  // declaration twice in place of another gives the missing one there, and
  // an exact map answers it with none.
  std::vector<Attribute> MapItems(NodeHandle element) {
    std::vector<Attribute> items;
    const auto map = ObjectOf<IXMLDOMNamedNodeMap>(
        [&](IXMLDOMNamedNodeMap** out) { return N(element)->get_attributes(out); });
    long count = 0;
    if (map)
      CheckSafeCall(map->get_length(&count));
    for (long i = 0; i <= count && map; ++i) {
      std::optional<Attribute> attribute = Item(*map.Get(), i);
      if (attribute && !Lists(items, attribute->name))
        items.push_back(std::move(*attribute));
    }
    return items;
  }

  // The namespace that `prefix` is bound to at `node` (an element, or the
  // document for none): the nearest declaration in the maps, or an element's
  // own prefix, which its namespace binds.
  std::u16string Binding(NodeHandle node, std::u16string_view prefix) {
    const std::u16string declaration = xml::DeclarationName(prefix);
    for (; node != nullptr && Type(node) == TNodeType::ntElement; node = Parent(node)) {
      for (Attribute& attribute : MapItems(node))
        if (attribute.name == declaration)
          return std::move(attribute.value);
      if (Prefix(node) == prefix)
        if (std::u16string uri = NamespaceURI(node); !uri.empty())
          return uri;
    }
    return {};
  }

  // One item of an attribute map; none when the DOM counts an item that it
  // cannot hand out, which is then passed over rather than failing the walk.
  static std::optional<Attribute> Item(IXMLDOMNamedNodeMap& map, long index) {
    ComPtr<IXMLDOMNode> item;
    if (FAILED(map.get_item(index, item.Out())) || !item) {
      SetErrorInfo(0, nullptr);
      return std::nullopt;
    }
    Attribute attribute;
    attribute.name = TextOf([&](BSTR* out) { return item->get_nodeName(out); });
    OwnedVariant value;
    CheckSafeCall(item->get_nodeValue(value.Out()));
    attribute.value = value.Text();
    attribute.namespaceURI = IsDeclarationName(attribute.name)
                                 ? std::u16string(kXmlnsNamespace)
                                 : TextOf([&](BSTR* out) { return item->get_namespaceURI(out); });
    return attribute;
  }

  // Whether `attributes` has one named `name`; a map may hand out the same
  // declaration twice, and the first one stands.
  static bool Lists(const std::vector<Attribute>& attributes, std::u16string_view name) {
    return std::any_of(attributes.begin(), attributes.end(),
                       [&](const Attribute& attribute) { return attribute.name == name; });
  }

  // Whether the declaration would bind the element's own prefix to the
  // namespace the element is already in. The serialiser writes that
  // declaration for the element itself; setting it as an attribute as well
  // could write it twice.
  bool DeclaresOwnNamespace(NodeHandle element, std::u16string_view declaration,
                            std::u16string_view uri) {
    return Type(element) == TNodeType::ntElement && !uri.empty() &&
           xml::DeclaredPrefix(declaration) == Prefix(element) && NamespaceURI(element) == uri;
  }

  // Removes the texts of nothing but XML white space below `parent`, except
  // where xml:space="preserve" asks to keep them.
  static void DropWhitespaceText(const ComPtr<IXMLDOMNode>& parent, bool preserve) {
    auto child =
        ObjectOf<IXMLDOMNode>([&](IXMLDOMNode** out) { return parent->get_firstChild(out); });
    while (child) {
      auto next =
          ObjectOf<IXMLDOMNode>([&](IXMLDOMNode** out) { return child->get_nextSibling(out); });
      DOMNodeType type = NODE_INVALID;
      CheckSafeCall(child->get_nodeType(&type));
      if (type == NODE_TEXT && !preserve && IsWhitespace(child)) {
        ObjectOf<IXMLDOMNode>(
            [&](IXMLDOMNode** out) { return parent->removeChild(child.Get(), out); });
      } else if (type == NODE_ELEMENT) {
        DropWhitespaceText(child, SpacePreserved(child, preserve));
      }
      child = std::move(next);
    }
  }

  static bool IsWhitespace(const ComPtr<IXMLDOMNode>& text) {
    OwnedVariant value;
    CheckSafeCall(text->get_nodeValue(value.Out()));
    return value.Text().find_first_not_of(u" \t\r\n") == std::u16string::npos;
  }

  // Whether white space is kept inside `element`, given the setting of its parent.
  static bool SpacePreserved(const ComPtr<IXMLDOMNode>& element, bool inherited) {
    const auto target = element.Query<IXMLDOMElement>(IID_IXMLDOMElement);
    if (!target)
      return inherited;
    const BStr name = Allocated(u"xml:space");
    OwnedVariant value;
    CheckSafeCall(target->getAttribute(name.Get(), value.Out()));
    const std::u16string space = value.Text();
    return space == u"preserve" || (space != u"default" && inherited);
  }

  bool HoldsValue(NodeHandle node) {
    const TNodeType type = Type(node);
    return type == TNodeType::ntText || type == TNodeType::ntCData ||
           type == TNodeType::ntComment || type == TNodeType::ntProcessingInstr;
  }

  // The parser's report after a load that did not succeed; after one that
  // did, the document loses its white-space-only texts.
  std::optional<ParseError> Report(VARIANT_BOOL loaded) {
    if (loaded != VARIANT_FALSE) {
      if (CountedNodes() > maxNodes_)
        return ParseError{TooManyNodesReason(maxNodes_), 0, {}};
      DropWhitespaceText(ComPtr<IXMLDOMNode>::Share(document_.Get()), false);
      return std::nullopt;
    }
    const auto report = ObjectOf<IXMLDOMParseError>(
        [&](IXMLDOMParseError** out) { return document_->get_parseError(out); });
    ParseError error;
    if (!report) {
      error.reason = u"Document is not well-formed";
      return error;
    }
    // Some DOMs give only a generic reason, line 0 and no source text; the
    // message keeps its form with whatever the report holds.
    error.reason = TextOf([&](BSTR* out) { return report->get_reason(out); });
    // The reason ends in a line break of its own, which the message adds.
    while (!error.reason.empty() && error.reason.back() <= u' ')
      error.reason.pop_back();
    long line = 0;
    CheckSafeCall(report->get_line(&line));
    error.line = static_cast<int>(line);
    error.sourceText = TextOf([&](BSTR* out) { return report->get_srcText(out); });
    return error;
  }

  // The nodes of the loaded document that count against its limit.
  size_t CountedNodes() {
    const BStr query = Allocated(kCountedNodes);
    const auto nodes = ObjectOf<IXMLDOMNodeList>(
        [&](IXMLDOMNodeList** out) { return document_->selectNodes(query.Get(), out); });
    long length = 0;
    if (nodes)
      CheckSafeCall(nodes->get_length(&length));
    return static_cast<size_t>(length);
  }

  ComPtr<IXMLDOMDocument> document_;
  const size_t maxNodes_;
  // Every node handed out, by its COM identity; the identity pointer stays
  // valid because the map holds a reference to the node.
  std::unordered_map<IUnknown*, ComPtr<IXMLDOMNode>> nodes_;
};

} // namespace

std::unique_ptr<DomDocument> CreateDomDocument(size_t maxNodes) {
  // The factory's failures reach the layer as a failed call with an error
  // object, like any other failing call on the DOM.
  ComPtr<IXMLDOMDocument> document;
  CheckSafeCall(
      Guard(ErrorSource{IID_IUnknown, {}, {}}, [&] { document = CreatePlatformDocument(); }));
  return std::make_unique<MsXmlDocument>(std::move(document), maxNodes);
}

} // namespace tellavo::dom
