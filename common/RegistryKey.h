// Owner of an open registry key, closed when the owner goes.
#pragma once

#include "Platform.h"
#include "common/UniqueHandle.h"

namespace tellavo {

using RegistryKey = UniqueHandle<HKEY, RegCloseKey>;

} // namespace tellavo
