// tellavo config: the run-time settings in force, each with where it came from.
#include <iostream>

#include "common/Settings.h"
#include "common/Utf.h"
#include "tools/tellavo/Commands.h"
#include "tools/tellavo/Json.h"

namespace tellavo::cli {
namespace {

constexpr OptionDefinition kJsonOption{"json", false};
constexpr OptionDefinition kConfigOptions[] = {kJsonOption};

void PrintSettings(const TSettings& settings, bool json) {
  if (json) {
    Json all = Json::object();
    for (const EffectiveSetting& setting : settings.All())
      all[Utf16ToUtf8(setting.definition->name)] = {{"value", setting.value},
                                                    {"origin", setting.origin}};
    std::cout << JsonLine(all) << '\n';
    return;
  }
  for (const EffectiveSetting& setting : settings.All()) {
    const std::string name = Utf16ToUtf8(setting.definition->name);
    std::cout << name << std::string(name.size() < 20 ? 20 - name.size() : 1, ' ')
              << Utf16ToUtf8(setting.value) << "  (" << Utf16ToUtf8(setting.origin) << ")\n";
  }
}

// The settings and what each accepts, from the table the module reads them
// by, so that the help names every one.
std::string SettingsHelp() {
  std::string text = "The settings, and what each accepts:\n";
  for (const SettingDefinition& setting : SettingDefinitions())
    text += "  " + Utf16ToUtf8(setting.name) + ": " + Utf16ToUtf8(setting.expected) + "\n";
  return text;
}

// Built before kConfigCommand below, which points into it.
const std::string kSettingsHelp = SettingsHelp();

int RunConfig(const Command& self, const Args& args) {
  const ParsedOptions options = ParseOptions(args, kConfigOptions);
  if (ShowHelp(self, options))
    return kExitOk;
  if (!options.positionals.empty())
    throw EUsageError("config takes no arguments");
  TSettings settings;
  try {
    settings = CurrentSettings();
  } catch (const ESettingsError& failure) {
    // The module refuses every call while a setting is bad, for this reason.
    std::cerr << "tellavo: " << Utf16ToUtf8(failure.ReportText()) << '\n';
    return kExitFailed;
  }
  PrintSettings(settings, options.Has(kJsonOption.name));
  return kExitOk;
}

} // namespace

const Command kConfigCommand{
    "config",
    "show the run-time settings in force and where each comes from",
    {"Usage: tellavo config [--json]\n"
     "\n"
     "Prints each run-time setting of the module with its value and its origin:\n"
     "built in, the registry value (on Windows, under HKLM\\SOFTWARE\\Tellavo in the\n"
     "client's registry view, which is the module's, or for a setting that key does\n"
     "not hold, under HKCU\\Software\\Tellavo), or the file and line (on Linux,\n"
     "/etc/tellavo/tellavo.conf, or the file that TELLAVO_CONFIG names). They are\n"
     "read as the module reads them at each call.\n"
     "\n",
     kSettingsHelp,
     "\n"
     "  --json  one JSON object: {\"NAME\": {\"value\": ..., \"origin\": ...}, ...}, a member\n"
     "          per setting\n"
     "\n"
     "Exit status 1, with the reason on standard error, when a setting is bad: the\n"
     "module then answers every gateway call with -1 and an event naming it.\n"},
    RunConfig};

} // namespace tellavo::cli
