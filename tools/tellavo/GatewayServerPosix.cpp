// On posix the client loads the module built with it: there is no system
// registry that another program would find it through.
#include "tools/tellavo/GatewayOptions.h"
#include "tools/tellavo/GatewayServer.h"

namespace tellavo::cli {

std::string DefaultModulePath() {
  return TELLAVO_MODULE_PATH;
}

std::unique_ptr<GatewayServer> DefaultGatewayServer() {
  return std::make_unique<ModuleGatewayServer>(DefaultModulePath());
}

} // namespace tellavo::cli
