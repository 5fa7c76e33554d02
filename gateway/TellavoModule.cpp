// The module's composition root: what runs at start-up, in order. The
// service bindings register their port types first; the Gateway factory,
// which loads the type library, comes last.
#include "gateway/TellavoCOMAPI.h"
#include "server/ModuleUnits.h"
#include "services/ServiceBindings.h"

namespace tellavo {

void InitializeModuleUnits() {
  RegisterServiceBindings();
  CreateGatewayFactory();
}

} // namespace tellavo
