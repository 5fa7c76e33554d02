// What to check when the module could not write or remove its registration:
// the module reports any such failure with one code, so the client names
// where the registration goes and what writing there needs.
#pragma once

#include <string_view>

namespace tellavo::cli {

// Defined per platform.
std::string_view RegistryFailureHint();

} // namespace tellavo::cli
