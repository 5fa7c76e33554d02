// The slice converters behind Utf.h, one path per instruction set. Each
// converts one self-contained slice: a high surrogate at its end is
// unpaired, a UTF-8 sequence cut by its end is ill-formed.
#pragma once

#include <cstddef>

#include "common/VectorPaths.h"

namespace tellavo {

// Room beyond the worst case that the vector stores of EncodeUtf8 may write.
inline constexpr size_t kEncodeSlack = 32;

// Writes `count` units of UTF-16 as UTF-8 to `out`, which has room for
// 3 * count + kEncodeSlack bytes; returns the end of what was written.
char* EncodeUtf8(VectorPath path, const char16_t* in, size_t count, char* out);

// Writes `count` bytes of UTF-8 as UTF-16 to `out`, which has room for
// `count` units; returns the end of what was written.
char16_t* DecodeUtf8(VectorPath path, const char* in, size_t count, char16_t* out);

} // namespace tellavo
