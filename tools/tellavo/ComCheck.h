// Failing HRESULTs of the client's own COM calls, raised with the step that
// failed.
#pragma once

#include <string_view>

#include "Platform.h"

namespace tellavo::cli {

// Raises EOleSysError "STEP failed: TEXT (0xXXXXXXXX)" for a failing result.
void CheckStep(HRESULT result, std::u16string_view step);

} // namespace tellavo::cli
