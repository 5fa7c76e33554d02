#include "Platform.h"
#include "tools/tellavo/QueueProgress.h"

namespace tellavo::cli {

// Only a console has a console mode: a pipe or a file has none.
bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

} // namespace tellavo::cli
