#include "tools/tellavo/RegistryFailureHint.h"

namespace tellavo::cli {

std::string RegistryFailureHint(HRESULT result, bool, bool) {
  std::string hint;
  if (RegistryRefused(result))
    hint = "The registry file could not be written: check that its folder can be written\n"
           "($TELLAVO_REGISTRY when set, else $XDG_DATA_HOME/tellavo, else\n"
           "~/.local/share/tellavo).\n";
  // Each pass replaces the registry file in one step, or not at all.
  return hint + "The registry file was left as it was.\n";
}

} // namespace tellavo::cli
