#include "tools/tellavo/FreedMemory.h"

#include <malloc.h>

namespace tellavo::cli {

void ReturnFreedMemory() {
  malloc_trim(0);
}

} // namespace tellavo::cli
