// File names between the system and the core's UTF-16. A posix file name is
// bytes, not necessarily UTF-8; these keep any such name intact through
// UTF-16, so that a module loaded from a folder named in another encoding
// finds itself, its type library and its registration by the same bytes.
// A byte that is not part of a well-formed UTF-8 sequence becomes the lone
// surrogate U+DC80 to U+DCFF and turns back into that byte; well-formed
// UTF-8 never yields a lone surrogate, so the round trip is exact. For
// well-formed text both are the plain UTF-8 conversions.
#pragma once

#include <string>
#include <string_view>

namespace tellavo {

std::u16string FileNameToUtf16(std::string_view name);

// Any other lone surrogate, which no file name read from the system holds,
// becomes U+FFFD as in Utf16ToUtf8.
std::string Utf16ToFileName(std::u16string_view name);

} // namespace tellavo
