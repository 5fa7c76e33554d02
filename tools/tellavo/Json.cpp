#include "tools/tellavo/Json.h"

namespace tellavo::cli {

std::string JsonLine(const Json& value) {
  // Texts stay UTF-8 rather than \u escapes; a byte that is not UTF-8 (a
  // Linux file name) is written as U+FFFD instead of failing the line.
  const auto dump = [](const Json& v) {
    return v.dump(-1, ' ', false, Json::error_handler_t::replace);
  };
  if (!value.is_object())
    return dump(value);
  // The library's compact form has no space after a comma or colon; the
  // lines that users read and match keep theirs.
  std::string line = "{";
  for (const auto& member : value.items()) {
    if (line.size() > 1)
      line += ", ";
    line += dump(member.key());
    line += ": ";
    line += JsonLine(member.value());
  }
  return line + "}";
}

} // namespace tellavo::cli
