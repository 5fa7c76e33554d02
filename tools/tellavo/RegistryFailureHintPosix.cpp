#include "tools/tellavo/RegistryFailureHint.h"

namespace tellavo::cli {

std::string_view RegistryFailureHint() {
  return "The registry file could not be written: check that its folder can be written\n"
         "($TELLAVO_REGISTRY when set, else $XDG_DATA_HOME/tellavo, else\n"
         "~/.local/share/tellavo).\n";
}

} // namespace tellavo::cli
