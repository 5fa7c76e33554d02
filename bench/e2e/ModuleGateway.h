// One Gateway object of the built module for the whole benchmark process,
// created through the module's class factory as a COM host would.
#pragma once

#include "Platform.h"
#include "gateway/Tellavo_TLB.h"

namespace tellavo::bench {

IGateway& ModuleGateway();

} // namespace tellavo::bench
