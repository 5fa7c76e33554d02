// Where the client's Gateway objects come from: the module given with
// --module, loaded by path; without it the platform's own choice (on posix
// the module built with the client; on Windows the server registered for the
// ProgID, reached through COM as any client reaches it, or, when none is
// registered, the module beside tellavo.exe through its registration-free
// manifest).
#pragma once

#include <memory>
#include <optional>
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

// Which module DefaultGatewayServer() serves from, and how it is reached.
struct ServerChoice {
  std::string modulePath;
  // "path" (loaded by path), "registered", "registration-free" (through the
  // manifest), or "unregistered" (neither: creating an object fails).
  std::string activation;
  // The manifest of a registration-free activation.
  std::optional<std::string> manifest;
};

// The module of --module when given, loaded by path; else the default choice.
ServerChoice ChooseServer(const ParsedOptions& options);
// Defined per platform.
ServerChoice DefaultServerChoice();

} // namespace tellavo::cli
