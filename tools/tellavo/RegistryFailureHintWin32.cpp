#include "tools/tellavo/RegistryFailureHint.h"

namespace tellavo::cli {

std::string RegistryFailureHint(HRESULT result, bool registering) {
  std::string hint;
  if (RegistryRefused(result))
    hint = "The registry refused the change. Changing HKEY_CLASSES_ROOT needs administrator\n"
           "rights: run the command from an elevated prompt (\"Run as administrator\"). If\n"
           "it already ran elevated, the permissions of a key below HKEY_CLASSES_ROOT refuse\n"
           "the change: check them with regedit.\n";
  hint += registering
              ? "What the registration had written was removed again, as far as the registry\n"
                "allowed: the class is not left half registered.\n"
              : "The entries removed before the failure stay removed; run unregister again\n"
                "once this is mended to remove the rest.\n";
  return hint;
}

} // namespace tellavo::cli
