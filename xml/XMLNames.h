// Qualified names and namespace declaration names.
#pragma once

#include <string>
#include <string_view>

namespace tellavo::xml {

struct QualifiedNameParts {
  std::u16string prefix;
  std::u16string localName;
};

inline QualifiedNameParts SplitQualifiedName(std::u16string_view name) {
  const size_t colon = name.find(u':');
  if (colon == std::u16string_view::npos)
    return {{}, std::u16string(name)};
  return {std::u16string(name.substr(0, colon)), std::u16string(name.substr(colon + 1))};
}

inline std::u16string QualifiedName(std::u16string_view prefix, std::u16string_view localName) {
  if (prefix.empty())
    return std::u16string(localName);
  return std::u16string(prefix) + u":" + std::u16string(localName);
}

// The attribute that declares `prefix`: "xmlns:prefix", or "xmlns" for the
// default namespace.
inline std::u16string DeclarationName(std::u16string_view prefix) {
  return QualifiedName(prefix.empty() ? u"" : u"xmlns", prefix.empty() ? u"xmlns" : prefix);
}

// The prefix that a declaration attribute declares; empty for "xmlns".
inline std::u16string DeclaredPrefix(std::u16string_view attributeName) {
  return attributeName == u"xmlns" ? std::u16string() : SplitQualifiedName(attributeName).localName;
}

} // namespace tellavo::xml
