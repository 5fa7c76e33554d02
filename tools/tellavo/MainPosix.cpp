// tellavo: a command-line automation client of the Tellavo server.
#include "tools/tellavo/Commands.h"

int main(int argc, char** argv) {
  return tellavo::cli::Main(tellavo::cli::Args(argv + 1, argv + argc));
}
