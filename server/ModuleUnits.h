// The start-up of the module's own units, defined by the module's
// composition root. It runs once, when the module starts, after the server
// object exists (ComServer() is usable) and makes the module's class
// factories. An exception from it leaves the module without classes.
#pragma once

namespace tellavo {

void InitializeModuleUnits();

} // namespace tellavo
