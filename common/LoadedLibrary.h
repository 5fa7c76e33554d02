// Owner of a module loaded with LoadLibrary, freed when the owner goes.
#pragma once

#include "Platform.h"
#include "common/UniqueHandle.h"

namespace tellavo {

using LoadedLibrary = UniqueHandle<HMODULE, FreeLibrary>;

} // namespace tellavo
