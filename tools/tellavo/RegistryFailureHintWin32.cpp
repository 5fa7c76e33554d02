#include "tools/tellavo/RegistryFailureHint.h"

namespace tellavo::cli {

std::string_view RegistryFailureHint() {
  return "Writing to HKEY_CLASSES_ROOT needs administrator rights: run the command from\n"
         "an elevated prompt (\"Run as administrator\").\n";
}

} // namespace tellavo::cli
