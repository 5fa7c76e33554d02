// tellavo register and unregister: the module's own registration entry points.
#include <iostream>

#include "common/Bstr.h"
#include "common/ComPtr.h"
#include "common/Exceptions.h"
#include "common/Utf.h"
#include "tools/tellavo/Commands.h"
#include "tools/tellavo/GatewayOptions.h"
#include "tools/tellavo/Output.h"
#include "tools/tellavo/RegistryFailureHint.h"
#include "tools/tellavo/ServerModule.h"

namespace tellavo::cli {
namespace {

// --user here is a flag: the registration of the calling user, not a
// gateway account.
constexpr OptionDefinition kPerUserOption{"user", false};
constexpr OptionDefinition kRegisterOptions[] = {kModuleOption, kPerUserOption};

// The module's command line for its registration for the calling user.
constexpr char16_t kPerUserCommandLine[] = u"user";

constexpr std::string_view kHiveLocation =
    "\nWithout --module: on Windows Tellavo.dll beside tellavo.exe, on Linux the module\n"
    "built with the client. On Windows the entries go to HKEY_CLASSES_ROOT (run from\n"
    "an elevated prompt); with --user to HKEY_CURRENT_USER\\Software\\Classes, for the\n"
    "calling user alone and without administrator rights (the module's DllInstall,\n"
    "as regsvr32 /n /i:user calls it). On Linux the registry is a file:\n"
    "$TELLAVO_REGISTRY when set, else $XDG_DATA_HOME/tellavo/registry.hive, else\n"
    "~/.local/share/tellavo/registry.hive; --user writes below its HKEY_CURRENT_USER.\n";

// What the module said of its failure through the thread's error object;
// empty when it left none.
std::string ModuleFailureText() {
  ComPtr<IErrorInfo> info;
  BStr description;
  if (GetErrorInfo(0, info.Out()) != S_OK || !info ||
      FAILED(info->GetDescription(description.Out())))
    return {};
  return Utf16ToUtf8(description.Text());
}

int UpdateRegistry(const Command& self, const Args& args, bool reg) {
  const ParsedOptions options = ParseOptions(args, kRegisterOptions);
  if (ShowHelp(self, options))
    return kExitOk;
  if (!options.positionals.empty())
    throw EUsageError(std::string(self.name) + " takes no arguments");
  const bool perUser = options.Has(kPerUserOption.name);
  const ServerModule module(ModulePath(options));
  SetErrorInfo(0, nullptr);
  const HRESULT result =
      perUser ? module.Install(reg, kPerUserCommandLine) : module.UpdateRegistry(reg);
  if (FAILED(result)) {
    const char* entry =
        perUser ? "DllInstall" : (reg ? "DllRegisterServer" : "DllUnregisterServer");
    const std::string said = ModuleFailureText();
    std::cerr << "tellavo: " << entry << " failed: " << HresultText(result) << ' '
              << Utf16ToUtf8(SystemMessageText(result)) << '\n'
              << RegistryFailureHint(result, reg, perUser)
              << (said.empty() ? "" : "The module reports: " + said + '\n');
    return kExitFailed;
  }
  std::cout << (reg ? "registered " : "unregistered ") << module.Path()
            << (perUser ? " for the current user" : "") << '\n';
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
    {"Usage: tellavo register [--module PATH] [--user]\n"
     "\n"
     "Calls the module's DllRegisterServer: the class, its ProgID Tellavo.Gateway\n"
     "and the type library are entered in the registry. With --user, DllInstall\n"
     "enters the same for the calling user alone.\n",
     kHiveLocation},
    RunRegister};

const Command kUnregisterCommand{"unregister",
                                 "remove the server's registry entries",
                                 {"Usage: tellavo unregister [--module PATH] [--user]\n"
                                  "\n"
                                  "Calls the module's DllUnregisterServer, which removes what\n"
                                  "register wrote; with --user, DllInstall removes what\n"
                                  "register --user wrote.\n",
                                  kHiveLocation},
                                 RunUnregister};

} // namespace tellavo::cli
