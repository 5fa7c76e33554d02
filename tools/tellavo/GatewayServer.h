// Where the client's Gateway objects come from: the module given with
// --module, loaded by path; without it the platform's own choice (on posix
// the module built with the client, on Windows the server registered for the
// ProgID, reached through COM as any client reaches it).
#pragma once

#include <memory>
#include <string>

#include "Platform.h"
#include "common/ComPtr.h"
#include "tools/tellavo/CommandLine.h"
#include "tools/tellavo/ServerModule.h"

namespace tellavo::cli {

class GatewayServer {
public:
  virtual ~GatewayServer() = default;
  // A new Gateway object, asked for IDispatch; throws EOleSysError when the
  // server refuses.
  virtual ComPtr<IDispatch> CreateGateway() const = 0;
};

// The Gateway class of a module loaded by path, from its own class factory.
class ModuleGatewayServer : public GatewayServer {
public:
  explicit ModuleGatewayServer(const std::string& path) : module_(path) {}
  ComPtr<IDispatch> CreateGateway() const override;

private:
  ServerModule module_;
};

// The server of --module when given, else DefaultGatewayServer().
std::unique_ptr<GatewayServer> OpenGatewayServer(const ParsedOptions& options);

// Defined per platform.
std::unique_ptr<GatewayServer> DefaultGatewayServer();

} // namespace tellavo::cli
