// tellavo --version: the client's version, and the version, path, signature
// and activation of the module it uses.
#include "tools/tellavo/ModuleVersion.h"

#include <iostream>

#include "Platform.h"
#include "common/ComPtr.h"
#include "common/Exceptions.h"
#include "common/FileNameText.h"
#include "common/Format.h"
#include "common/Utf.h"
#include "common/WideText.h"
#include "tools/tellavo/Commands.h"
#include "tools/tellavo/GatewayOptions.h"
#include "tools/tellavo/GatewayServer.h"
#include "tools/tellavo/Json.h"

namespace tellavo::cli {

ModuleVersion ReadModuleVersion(const std::string& path) {
  const std::u16string wide = FileNameToUtf16(path);
  ComPtr<ITypeLib> library;
  const HRESULT loaded = LoadTypeLibEx(Wide(wide), REGKIND_NONE, library.Out());
  if (FAILED(loaded))
    throw Exception(Format(u"cannot read the type library of the module %s (0x%.8x)",
                           {wide, static_cast<unsigned long>(loaded)}));
  TLIBATTR* attributes = nullptr;
  if (FAILED(library->GetLibAttr(&attributes)))
    throw Exception(Format(u"cannot read the type library of the module %s", {wide}));
  ModuleVersion version{ModuleFileVersion(path),
                        std::to_string(attributes->wMajorVerNum) + "." +
                            std::to_string(attributes->wMinorVerNum),
                        ModuleSignature(path)};
  library->ReleaseTLibAttr(attributes);
  return version;
}

namespace {

constexpr OptionDefinition kJsonOption{"json", false};
constexpr OptionDefinition kVersionOptions[] = {kJsonOption, kModuleOption};

int RunVersion(const Command& self, const Args& args) {
  const ParsedOptions options = ParseOptions(args, kVersionOptions);
  if (ShowHelp(self, options))
    return kExitOk;
  if (!options.positionals.empty())
    throw EUsageError("--version takes no arguments");
  const bool json = options.Has(kJsonOption.name);
  const ServerChoice server = ChooseServer(options);
  const std::string& path = server.modulePath;
  if (!json)
    std::cout << "tellavo " TELLAVO_CLIENT_VERSION "\n";
  const ModuleVersion module = ReadModuleVersion(path);
  if (json) {
    const Json about = {{"path", path},
                        {"version", module.file},
                        {"typeLibrary", module.typeLibrary},
                        {"signature", module.signature},
                        {"activation", server.activation},
                        {"manifest", server.manifest}};
    std::cout << JsonLine({{"client", TELLAVO_CLIENT_VERSION}, {"module", about}}) << '\n';
    return kExitOk;
  }
  std::cout << "module " << path << '\n';
  if (module.file)
    std::cout << "module version " << *module.file << '\n';
  std::cout << "type library " << module.typeLibrary << '\n';
  if (module.signature)
    std::cout << "signature " << *module.signature << '\n';
  std::cout << "activation " << server.activation;
  if (server.manifest)
    std::cout << " (manifest " << *server.manifest << ')';
  std::cout << '\n';
  return kExitOk;
}

} // namespace

const Command kVersionCommand{
    "--version",
    "the client's version, and the version and path of the module",
    {"Usage: tellavo --version [--json] [--module PATH]\n"
     "\n"
     "Prints the client's version, the path of the module it loads (or PATH), the\n"
     "module's file version (Windows: its version block; Linux modules carry none),\n"
     "the version of the type library it carries, its signature (Windows:\n"
     "unsigned, signed, untrusted-root, bad-digest or invalid) and how the client\n"
     "reaches it: path (loaded by path), registered, registration-free (through\n"
     "Tellavo.sxs.manifest beside tellavo.exe) or unregistered. The module is read,\n"
     "not run.\n"
     "\n"
     "  --json  one JSON object: {\"client\": ..., \"module\": {\"path\": ...,\n"
     "          \"version\": ... or null, \"typeLibrary\": ..., \"signature\": ...\n"
     "          or null, \"activation\": ..., \"manifest\": ... or null}}\n"
     "\n"
     "Exit status 1 when the module cannot be read.\n"},
    RunVersion};

} // namespace tellavo::cli
