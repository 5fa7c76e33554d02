// The XML layer on arbitrary bytes: a document that loads can be walked
// node by node, and the text it saves loads again with the same document
// element and the same number of elements.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/Exceptions.h"
#include "common/Utf.h"
#include "xml/XMLDoc.h"

using namespace tellavo;

namespace {

// Calls every accessor of every node; an accessor may refuse with one of
// Tellavo's exceptions (Text of an element with element content, say).
size_t Walk(const TXMLNode& root) {
  size_t elements = 0;
  std::vector<TXMLNode> pending{root};
  while (!pending.empty()) {
    const TXMLNode node = pending.back();
    pending.pop_back();
    if (node.NodeType() == TNodeType::ntElement)
      ++elements;
    try {
      node.NodeName();
      node.LocalName();
      node.Prefix();
      node.NamespaceURI();
      node.NodeValue();
      node.Attributes();
      node.ParentNode();
      node.XML();
      node.Text();
    } catch (const Exception&) {
    }
    const TXMLNodeList children = node.ChildNodes();
    for (int i = children.Count() - 1; i >= 0; --i)
      pending.push_back(children[i]);
  }
  return elements;
}

[[noreturn]] void Fail(const char* what, const std::u16string& saved) {
  std::fprintf(stderr, "%s\nsaved text:\n%s\n", what, Utf16ToUtf8(saved).c_str());
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TXMLDocument document;
  try {
    document.LoadFromStream(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const Exception&) {
    return 0;
  }
  const size_t elements = Walk(document.Node());
  const std::u16string saved = document.SaveToXML();

  TXMLDocument again;
  try {
    again.SetXML(saved);
    again.SetActive(true);
  } catch (const Exception& error) {
    Fail(("a saved document does not load: " + Utf16ToUtf8(error.Message())).c_str(), saved);
  }
  const TXMLNode root = document.DocumentElement(), reloadedRoot = again.DocumentElement();
  if (root.IsNull() != reloadedRoot.IsNull() ||
      (!root.IsNull() && root.NodeName() != reloadedRoot.NodeName()))
    Fail("the saved document has another document element", saved);
  if (Walk(again.Node()) != elements)
    Fail("the saved document has another number of elements", saved);
  return 0;
}
