// A function of a loaded library, looked up by name, under its own type.
#pragma once

#include "Platform.h"

namespace tellavo::server {

// Null when the library is not loaded or lacks the function.
template <class Function> Function ProcAddress(HMODULE library, const char* name) {
  if (library == nullptr)
    return nullptr;
  // The generic function type converts to any other without a warning.
  using Generic = void (*)();
  return reinterpret_cast<Function>(reinterpret_cast<Generic>(GetProcAddress(library, name)));
}

} // namespace tellavo::server
