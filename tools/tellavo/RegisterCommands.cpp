// tellavo register and unregister: the module's own registration entry points.
#include <iostream>

#include "common/Exceptions.h"
#include "common/Utf.h"
#include "tools/tellavo/Commands.h"
#include "tools/tellavo/GatewayOptions.h"
#include "tools/tellavo/Output.h"
#include "tools/tellavo/RegistryFailureHint.h"
#include "tools/tellavo/ServerModule.h"

namespace tellavo::cli {
namespace {

constexpr OptionDefinition kRegisterOptions[] = {kModuleOption};

constexpr std::string_view kHiveLocation =
    "\nWithout --module: on Windows Tellavo.dll beside tellavo.exe, on Linux the module\n"
    "built with the client. On Windows the entries go to HKEY_CLASSES_ROOT (run from\n"
    "an elevated prompt). On Linux the registry is a file: $TELLAVO_REGISTRY when set,\n"
    "else $XDG_DATA_HOME/tellavo/registry.hive, else ~/.local/share/tellavo/registry.hive.\n";

int UpdateRegistry(const Command& self, const Args& args, bool reg) {
  const ParsedOptions options = ParseOptions(args, kRegisterOptions);
  if (ShowHelp(self, options))
    return kExitOk;
  if (!options.positionals.empty())
    throw EUsageError(std::string(self.name) + " takes no arguments");
  const ServerModule module(ModulePath(options));
  const HRESULT result = module.UpdateRegistry(reg);
  if (FAILED(result)) {
    std::cerr << "tellavo: " << (reg ? "DllRegisterServer" : "DllUnregisterServer")
              << " failed: " << HresultText(result) << ' ' << Utf16ToUtf8(SystemMessageText(result))
              << '\n'
              << RegistryFailureHint(result, reg);
    return kExitFailed;
  }
  std::cout << (reg ? "registered " : "unregistered ") << module.Path() << '\n';
  return kExitOk;
}

int RunRegister(const Command& self, const Args& args) {
  return UpdateRegistry(self, args, true);
}

int RunUnregister(const Command& self, const Args& args) {
  return UpdateRegistry(self, args, false);
}

} // namespace

const Command kRegisterCommand{
    "register",
    "write the server's registry entries",
    {"Usage: tellavo register [--module PATH]\n"
     "\n"
     "Calls the module's DllRegisterServer: the class, its ProgID Tellavo.Gateway\n"
     "and the type library are entered in the registry.\n",
     kHiveLocation},
    RunRegister};

const Command kUnregisterCommand{"unregister",
                                 "remove the server's registry entries",
                                 {"Usage: tellavo unregister [--module PATH]\n"
                                  "\n"
                                  "Calls the module's DllUnregisterServer, which removes what\n"
                                  "register wrote.\n",
                                  kHiveLocation},
                                 RunUnregister};

} // namespace tellavo::cli
