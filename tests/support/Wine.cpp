#include "Wine.h"

#include <map>
#include <regex>
#include <vector>

namespace tellavo::test {
namespace {

using Bindings = std::map<std::string, std::string>;

// A start tag less the declarations that `inScope` already holds; records
// the others in `inScope`.
std::string StartTagWithoutRepeats(const std::string& tag, Bindings& inScope) {
  static const std::regex declaration(R"re(\s+xmlns(:[^=\s]+)?="([^"]*)")re");
  std::string out;
  auto last = tag.cbegin();
  Bindings added;
  for (std::sregex_iterator it(tag.begin(), tag.end(), declaration), end; it != end; ++it) {
    const std::string prefix = (*it)[1].str();
    const std::string uri = (*it)[2].str();
    out.append(last, tag.cbegin() + it->position());
    const auto bound = inScope.find(prefix);
    if (bound == inScope.end() || bound->second != uri) {
      out += it->str();
      added[prefix] = uri;
    }
    last = tag.cbegin() + it->position() + it->length();
  }
  out.append(last, tag.cend());
  for (const auto& [prefix, uri] : added)
    inScope[prefix] = uri;
  return out;
}

} // namespace

std::string WithoutWineLayout(const std::string& xml) {
  std::string out;
  std::vector<Bindings> scopes{Bindings{}};
  size_t i = 0;
  while (i < xml.size()) {
    if (xml[i] != '<') {
      const size_t next = std::min(xml.find('<', i), xml.size());
      const std::string text = xml.substr(i, next - i);
      if (text.find_first_not_of(" \t\r\n") != std::string::npos)
        out += text;
      i = next;
      continue;
    }
    const size_t close = xml.find('>', i);
    if (close == std::string::npos)
      return out + xml.substr(i);
    const std::string tag = xml.substr(i, close + 1 - i);
    i = close + 1;
    if (tag.starts_with("</")) {
      scopes.pop_back();
      out += tag;
    } else if (tag.starts_with("<?") || tag.starts_with("<!")) {
      out += tag;
    } else {
      Bindings inScope = scopes.back();
      out += StartTagWithoutRepeats(tag, inScope);
      if (!tag.ends_with("/>"))
        scopes.push_back(std::move(inScope));
    }
  }
  return out;
}

} // namespace tellavo::test
