// Folding of message texts: the Turkish letters Ş ş Ğ ğ İ ç ı become
// S s G g I c i, and & < > become &amp; &lt; &gt;. Everything else stays.
#pragma once

#include <string>
#include <string_view>

#include "common/VectorPaths.h"

namespace tellavo {

// The entity that escapes one of the markup characters & < >.
constexpr std::u16string_view MarkupEntity(char16_t c) {
  return c == u'&' ? u"&amp;" : c == u'<' ? u"&lt;" : u"&gt;";
}

// The most units one character folds to.
inline constexpr size_t kMostFoldedUnits = 5;

std::u16string FoldText(std::u16string_view text);

// The length of FoldText(text), without folding it.
size_t FoldedLength(std::u16string_view text);

// Appends the folded text to `out`, in one pass over `text`.
void AppendFolded(std::u16string& out, std::u16string_view text);

// The slice folder behind AppendFolded, one path per instruction set: writes
// the folded `count` units to `out`, which has room for kMostFoldedUnits
// each, and returns the end of what was written.
char16_t* FoldSlice(VectorPath path, const char16_t* in, size_t count, char16_t* out);

} // namespace tellavo
