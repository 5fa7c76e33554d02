// What counts as an absolute trace path on this platform. A path that only
// another platform takes as absolute would be opened relative to the host's
// current folder here.
#pragma once

#include <string_view>

namespace tellavo {

// Whether `path` names a file from a root of this platform, never a device,
// a pipe or a name the system would take for one.
bool IsAbsoluteTracePath(std::u16string_view path);

} // namespace tellavo
