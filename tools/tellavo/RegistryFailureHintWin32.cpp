#include "tools/tellavo/RegistryFailureHint.h"

namespace tellavo::cli {

std::string RegistryFailureHint(HRESULT result, bool registering, bool perUser) {
  std::string hint;
  if (RegistryRefused(result) && perUser)
    hint = "The registry refused the change below HKEY_CURRENT_USER\\Software\\Classes,\n"
           "which the user may normally change: a policy or the key's permissions refuse\n"
           "it. Check them with regedit, or ask for the installation per machine.\n";
  else if (RegistryRefused(result))
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
