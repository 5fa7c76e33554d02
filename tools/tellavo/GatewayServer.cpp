#include "tools/tellavo/GatewayServer.h"

#include "gateway/Tellavo_TLB.h"
#include "tools/tellavo/GatewayOptions.h"

namespace tellavo::cli {

ComPtr<IDispatch> ModuleGatewayServer::CreateGateway() const {
  return module_.CreateDispatch(CLSID_Gateway);
}

std::unique_ptr<GatewayServer> OpenGatewayServer(const ParsedOptions& options) {
  if (const auto path = options.Value(kModuleOption.name))
    return std::make_unique<ModuleGatewayServer>(*path);
  return DefaultGatewayServer();
}

ServerChoice ChooseServer(const ParsedOptions& options) {
  if (const auto path = options.Value(kModuleOption.name))
    return {*path, "path", std::nullopt};
  return DefaultServerChoice();
}

} // namespace tellavo::cli
