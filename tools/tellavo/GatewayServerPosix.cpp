// On posix the client loads the module that came with it: there is no system
// registry that another program would find it through. The module is looked
// up beside the client itself, so that an installed tree works wherever it
// lies: in the package's private library folder once installed, else where
// the build put it.
#include <array>
#include <filesystem>

#include "tools/tellavo/GatewayOptions.h"
#include "tools/tellavo/GatewayServer.h"

namespace tellavo::cli {

std::string DefaultModulePath() {
  const std::filesystem::path folder =
      std::filesystem::read_symlink("/proc/self/exe").parent_path();
  constexpr std::array<const char*, 2> kPlaces{TELLAVO_INSTALLED_MODULE, TELLAVO_BUILT_MODULE};
  for (const char* place : kPlaces)
    if (std::filesystem::exists(folder / place))
      return (folder / place).lexically_normal().string();
  // Loading it fails with a message that names where it belongs.
  return (folder / kPlaces.front()).lexically_normal().string();
}

std::unique_ptr<GatewayServer> DefaultGatewayServer() {
  return std::make_unique<ModuleGatewayServer>(DefaultModulePath());
}

} // namespace tellavo::cli
