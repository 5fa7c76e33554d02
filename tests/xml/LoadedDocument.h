// An active document loaded from a text, for the XML layer's tests.
#pragma once

#include <string_view>

#include "xml/XMLDoc.h"

namespace tellavo::test {

inline TXMLDocument Loaded(std::u16string_view text) {
  TXMLDocument document;
  document.SetXML(text);
  document.SetActive(true);
  return document;
}

} // namespace tellavo::test
