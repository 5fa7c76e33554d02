#include "common/TracePath.h"

namespace tellavo {

// "C:\x" and "\\srv\share\x" are plain relative names here. Devices and FIFOs
// are refused when the file is opened, by what it turns out to be.
bool IsAbsoluteTracePath(std::u16string_view path) {
  return path.starts_with(u'/');
}

} // namespace tellavo
