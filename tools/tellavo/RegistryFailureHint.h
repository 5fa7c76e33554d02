// What to do when the module could not write or remove its registration,
// after the failure's code and system message: what the code means where the
// registration goes, and in what state the registry was left.
#pragma once

#include <string>

#include "Platform.h"

namespace tellavo::cli {

// Defined per platform; `registering` tells DllRegisterServer from
// DllUnregisterServer, `perUser` the calling user's registration from the
// machine's.
std::string RegistryFailureHint(HRESULT result, bool registering, bool perUser);

// Whether the failure is the registry refusing the change: access denied, or
// the type library's code for a registry it could not change.
inline bool RegistryRefused(HRESULT result) {
  return result == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED) || result == TYPE_E_REGISTRYACCESS;
}

} // namespace tellavo::cli
