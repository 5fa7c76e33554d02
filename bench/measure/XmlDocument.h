// A document that libxml2 parsed on its own, the yardstick that benchmarks
// hold the layer's parse against; freed when its owner goes.
#pragma once

#include <libxml/tree.h>

#include <memory>

namespace tellavo::bench {

struct XmlDocumentFree {
  void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using XmlDocument = std::unique_ptr<xmlDoc, XmlDocumentFree>;

} // namespace tellavo::bench
