// On posix the client loads the module that came with it: there is no system
// registry that another program would find it through. The module is looked
// up from the client's own folder, in the package's private library folder,
// so that an installed tree works wherever it lies; the build tree has the
// same layout.
#include <cstdlib>
#include <filesystem>

#include "common/Utf.h"
#include "tools/tellavo/GatewayOptions.h"
#include "tools/tellavo/GatewayServer.h"

namespace tellavo::cli {

std::string DefaultModulePath() {
  const std::filesystem::path folder =
      std::filesystem::read_symlink("/proc/self/exe").parent_path();
  return (folder / TELLAVO_INSTALLED_MODULE).lexically_normal().string();
}

std::unique_ptr<GatewayServer> DefaultGatewayServer() {
  return std::make_unique<ModuleGatewayServer>(DefaultModulePath());
}

ServerChoice DefaultServerChoice() {
  return {DefaultModulePath(), "path", std::nullopt};
}

void SetProcessVariable(std::u16string_view name, std::u16string_view value) {
  setenv(Utf16ToUtf8(name).c_str(), Utf16ToUtf8(value).c_str(), 1);
}

} // namespace tellavo::cli
