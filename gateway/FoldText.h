// Folding of message texts: the Turkish letters Ş ş Ğ ğ İ ç ı become
// S s G g I c i, and & < > become &amp; &lt; &gt;. Everything else stays.
#pragma once

#include <string>
#include <string_view>

namespace tellavo {

// The entity that escapes one of the markup characters & < >.
constexpr std::u16string_view MarkupEntity(char16_t c) {
  return c == u'&' ? u"&amp;" : c == u'<' ? u"&lt;" : u"&gt;";
}

std::u16string FoldText(std::u16string_view text);

// The length of FoldText(text), without folding it.
size_t FoldedLength(std::u16string_view text);

// Appends the folded text to `out`, without an intermediate copy.
void AppendFolded(std::u16string& out, std::u16string_view text);

} // namespace tellavo
