#include "tools/tellavo/Output.h"

#include <cstdio>

#include "common/Utf.h"

namespace tellavo::cli {

std::string HresultText(HRESULT hresult) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hresult));
  return text;
}

void PrintAnswer(std::ostream& out, std::u16string_view answer) {
  out << Utf16ToUtf8(answer);
  if (!answer.ends_with(u'\n'))
    out << '\n';
  out.flush();
}

} // namespace tellavo::cli
