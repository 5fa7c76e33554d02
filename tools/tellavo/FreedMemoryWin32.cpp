#include "tools/tellavo/FreedMemory.h"

#include <malloc.h>

namespace tellavo::cli {

void ReturnFreedMemory() {
  _heapmin();
}

} // namespace tellavo::cli
