#include <unistd.h>

#include "tools/tellavo/QueueProgress.h"

namespace tellavo::cli {

bool StandardErrorIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

} // namespace tellavo::cli
