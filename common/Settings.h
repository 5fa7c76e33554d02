// The run-time settings: each has a built-in value, fixed when the module is
// built, that the platform's settings store (common/SettingsStore.h) may
// override. They are read at every call, so a change holds from the next call
// without restarting the host. A bad stored value is never passed over: the
// call fails with ESettingsError naming the setting, the value and where it
// was read.
//
// Adding a setting: one entry in SettingId (and kSettingCount one more), and
// one row in the table of Settings.cpp with its built-in value and the check
// its values must pass; a compile-time check keeps rows and entries in step.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/Exceptions.h"
#include "common/SettingsStore.h"

namespace tellavo {

enum class SettingId {
  GatewayHost,        // host of GetOriginators, SendSMS and SendSMSPrepaid
  ReportHost,         // host of GetStatus and GetReport2Date
  ServiceNamespace,   // namespace URI of the five services, ending in "/"
  VerifyCertificates, // 1: refuse server certificates that do not verify
  TraceFile,          // where the wire trace goes; empty: no trace
  TraceMaxBodyBytes,  // the most of each body a trace record shows
  TraceMaxBytes,      // the trace file's size at which it is renamed with ".1"
};
inline constexpr size_t kSettingCount = 7;

// How a value is kept: text (REG_SZ), or a whole number from 0 to 4294967295
// (REG_DWORD, or REG_SZ holding its decimal digits). A file holds both as text.
enum class SettingKind { Text, Number };

// What a value in the settings of the process's own account may do; the
// machine's value of the same setting, where it holds one, is the
// administrator's and counts first.
enum class UserMay {
  // Set the value where the machine's settings hold none.
  Fill,
  // A flag whose 1 is the safe side: the user may turn it on over any value,
  // and off only where neither the machine's settings nor the build have it on.
  OnlyTurnOn,
};

struct SettingDefinition {
  SettingId id;
  std::u16string_view name;
  SettingKind kind;
  std::u16string_view builtIn;
  // Whether a value (as text; a number in decimal) is acceptable.
  bool (*accepts)(std::u16string_view value);
  // What an acceptable value is, for the failure message.
  std::u16string_view expected;
  UserMay userMay = UserMay::Fill;
};

// Every setting, in SettingId order.
std::span<const SettingDefinition> SettingDefinitions();
const SettingDefinition& Definition(SettingId id);

// A bad stored setting, or a store that cannot be read.
class ESettingsError : public Named<Exception, u"ESettingsError"> {
  using Named::Named;
};

struct EffectiveSetting {
  const SettingDefinition* definition = nullptr;
  std::u16string value;
  // "built in", or where the value was read.
  std::u16string origin;
};

class TSettings {
public:
  // Every setting at its built-in value.
  TSettings();

  const std::u16string& Text(SettingId id) const { return At(id).value; }
  uint32_t Number(SettingId id) const;
  bool Flag(SettingId id) const { return Number(id) != 0; }
  const std::u16string& Origin(SettingId id) const { return At(id).origin; }
  std::span<const EffectiveSetting> All() const { return values_; }

  // Takes the store's values over the built-in ones, the machine's first and
  // then the user's as UserMay allows; raises ESettingsError for the first
  // bad one that counts.
  void Apply(const platform::SettingsStore& store);

private:
  using SettingFlags = std::array<bool, kSettingCount>;

  const EffectiveSetting& At(SettingId id) const { return values_[static_cast<size_t>(id)]; }
  // Applies the values of one scope; answers which settings it set.
  SettingFlags ApplyScope(const platform::SettingsStore& store, platform::StoredScope scope,
                          const SettingFlags& setByMachine);

  std::array<EffectiveSetting, kSettingCount> values_;
};

// What "built in" is called where a setting's origin is shown.
inline constexpr std::u16string_view kBuiltInOrigin = u"built in";

// The settings as the module was built.
const TSettings& BuiltInSettings();
// The settings in force now; raises ESettingsError for a bad one.
TSettings CurrentSettings();

// Checks of the settings' values, shared with whoever validates them first.
bool IsHostName(std::u16string_view text);
bool IsNamespaceURI(std::u16string_view text);
bool IsNumber(std::u16string_view text);
// Empty, "-" (standard error), or an absolute path of this platform without
// control characters.
bool IsTracePath(std::u16string_view text);

} // namespace tellavo
