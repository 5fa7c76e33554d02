#include "common/Settings.h"

#include <algorithm>

#include "common/Format.h"
#include "common/SameText.h"
#include "common/TextUtil.h"
#include "common/TracePath.h"

namespace tellavo {

namespace {

constexpr std::u16string_view kUnknownSetting =
    u"Unknown setting '%s' (value '%s') in %s; the settings are %s";
constexpr std::u16string_view kBadValue = u"Invalid value '%s' of setting %s in %s: %s expected";
constexpr std::u16string_view kWrongType =
    u"Setting %s in %s has the registry type %s: %s expected";
constexpr std::u16string_view kMalformedLine =
    u"The line '%s' in %s is not a setting: Name = value expected";
constexpr std::u16string_view kSetTwice = u"Setting %s is set twice, in %s and in %s";

bool IsAsciiDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

bool IsZeroOrOne(std::u16string_view text) {
  return text == u"0" || text == u"1";
}

bool IsPositiveNumber(std::u16string_view text) {
  return IsNumber(text) && text.find_first_not_of(u'0') != std::u16string_view::npos;
}

constexpr std::u16string_view kTypeNames[] = {u"REG_SZ", u"REG_SZ or REG_DWORD"};

// The built-in values come from the build; the names are what an
// administrator writes, in the registry and in the file alike.
constexpr SettingDefinition kDefinitions[kSettingCount] = {
    {SettingId::GatewayHost, u"GatewayHost", SettingKind::Text, u"" TELLAVO_GATEWAY_HOST,
     &IsHostName, u"a host name"},
    {SettingId::ReportHost, u"ReportHost", SettingKind::Text, u"" TELLAVO_REPORT_HOST, &IsHostName,
     u"a host name"},
    {SettingId::ServiceNamespace, u"ServiceNamespace", SettingKind::Text,
     u"" TELLAVO_SERVICE_NAMESPACE, &IsNamespaceURI, u"an absolute URI ending in \"/\""},
    {SettingId::VerifyCertificates, u"VerifyCertificates", SettingKind::Number,
     TELLAVO_VERIFY_CERTIFICATES ? u"1" : u"0", &IsZeroOrOne, u"0 or 1", UserMay::OnlyTurnOn},
    {SettingId::TraceFile, u"TraceFile", SettingKind::Text, u"", &IsTracePath,
     u"an absolute path, - for standard error, or nothing for no trace"},
    {SettingId::TraceMaxBodyBytes, u"TraceMaxBodyBytes", SettingKind::Number, u"65536",
     &IsPositiveNumber, u"a number of bytes above 0"},
    {SettingId::TraceMaxBytes, u"TraceMaxBytes", SettingKind::Number, u"16777216",
     &IsPositiveNumber, u"a number of bytes above 0"},
};

constexpr bool OneRowPerSettingInOrder() {
  for (size_t i = 0; i < kSettingCount; ++i)
    if (kDefinitions[i].id != static_cast<SettingId>(i) || kDefinitions[i].name.empty())
      return false;
  return true;
}
static_assert(OneRowPerSettingInOrder(), "one row per setting, in SettingId order");

std::u16string SettingNames() {
  std::u16string names;
  for (const SettingDefinition& definition : kDefinitions) {
    if (!names.empty())
      names += u", ";
    names += definition.name;
  }
  return names;
}

const SettingDefinition* FindDefinition(std::u16string_view name) {
  for (const SettingDefinition& definition : kDefinitions)
    if (SameText(definition.name, name))
      return &definition;
  return nullptr;
}

} // namespace

bool IsHostName(std::u16string_view text) {
  // Labels of letters, digits and inner hyphens, 1 to 63 characters each,
  // 253 in all; no port, no address in brackets.
  if (text.empty() || text.size() > 253)
    return false;
  size_t labelStart = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != u'.') {
      const char16_t c = text[i];
      if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != u'-')
        return false;
      continue;
    }
    const std::u16string_view label = text.substr(labelStart, i - labelStart);
    if (label.empty() || label.size() > 63 || label.front() == u'-' || label.back() == u'-')
      return false;
    labelStart = i + 1;
  }
  return true;
}

bool IsNamespaceURI(std::u16string_view text) {
  // A scheme, ":", then only characters a URI may hold, the last one "/". The
  // namespace goes into every envelope and into the SOAPAction header, so
  // blanks, quotes and control characters can never pass.
  const size_t colon = text.find(u':');
  if (colon == 0 || colon == std::u16string_view::npos || !IsAsciiLetter(text[0]) ||
      text.size() < colon + 2 || text.back() != u'/')
    return false;
  for (size_t i = 1; i < colon; ++i) {
    const char16_t c = text[i];
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != u'+' && c != u'-' && c != u'.')
      return false;
  }
  constexpr std::u16string_view kUriMarks = u"-._~:/?#[]@!$&'()*+,;=%";
  return std::all_of(text.begin() + colon + 1, text.end(), [&](char16_t c) {
    return IsAsciiLetter(c) || IsAsciiDigit(c) || kUriMarks.find(c) != std::u16string_view::npos;
  });
}

bool IsNumber(std::u16string_view text) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), IsAsciiDigit))
    return false;
  // Leading zeros do not change the value; past them, more than ten digits
  // cannot fit 32 bits, and ten are summed without overflow in 64.
  const std::u16string_view digits =
      text.substr(std::min(text.find_first_not_of(u'0'), text.size()));
  if (digits.size() > 10)
    return false;
  uint64_t value = 0;
  for (char16_t digit : digits)
    value = value * 10 + (digit - u'0');
  return value <= UINT32_MAX;
}

bool IsTracePath(std::u16string_view text) {
  if (text.empty() || text == u"-")
    return true;
  // Nothing that could end a line of a configuration file or hide in one.
  if (std::any_of(text.begin(), text.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; }))
    return false;
  // A relative path would depend on the host's current folder.
  return IsAbsoluteTracePath(text);
}

std::span<const SettingDefinition> SettingDefinitions() {
  return kDefinitions;
}

const SettingDefinition& Definition(SettingId id) {
  return kDefinitions[static_cast<size_t>(id)];
}

TSettings::TSettings() {
  for (size_t i = 0; i < kSettingCount; ++i)
    values_[i] = {&kDefinitions[i], std::u16string(kDefinitions[i].builtIn),
                  std::u16string(kBuiltInOrigin)};
}

uint32_t TSettings::Number(SettingId id) const {
  uint32_t value = 0;
  for (char16_t digit : Text(id))
    value = value * 10 + static_cast<uint32_t>(digit - u'0');
  return value;
}

void TSettings::Apply(const platform::SettingsStore& store) {
  if (!store.failure.empty())
    throw ESettingsError(store.failure);
  const SettingFlags setByMachine = ApplyScope(store, platform::StoredScope::Machine, {});
  ApplyScope(store, platform::StoredScope::User, setByMachine);
}

TSettings::SettingFlags TSettings::ApplyScope(const platform::SettingsStore& store,
                                              platform::StoredScope scope,
                                              const SettingFlags& setByMachine) {
  const bool user = scope == platform::StoredScope::User;
  SettingFlags seen{};
  for (const platform::StoredSetting& stored : store.settings) {
    if (stored.scope != scope)
      continue;
    if (stored.type == platform::StoredType::Malformed)
      throw ESettingsError(Format(kMalformedLine, {stored.text, stored.where}));
    const SettingDefinition* definition = FindDefinition(stored.name);
    if (definition == nullptr)
      throw ESettingsError(
          Format(kUnknownSetting, {stored.name, stored.text, stored.where, SettingNames()}));
    const size_t index = static_cast<size_t>(definition->id);
    EffectiveSetting& effective = values_[index];
    // The machine's value hides the user's, bad or not; only turning a flag
    // on gets past it.
    const bool turnsOn = definition->userMay == UserMay::OnlyTurnOn && stored.text == u"1";
    if (user && setByMachine[index] && !turnsOn)
      continue;
    if (seen[index])
      throw ESettingsError(Format(kSetTwice, {definition->name, effective.origin, stored.where}));
    // A text setting is text; a number may also be written as its digits.
    const bool typeFits =
        stored.type == platform::StoredType::Text ||
        (stored.type == platform::StoredType::Number && definition->kind == SettingKind::Number);
    if (!typeFits) {
      const std::u16string_view typeName = stored.type == platform::StoredType::Number
                                               ? std::u16string_view(u"REG_DWORD")
                                               : std::u16string_view(stored.text);
      throw ESettingsError(Format(kWrongType, {definition->name, stored.where, typeName,
                                               kTypeNames[static_cast<int>(definition->kind)]}));
    }
    if (!definition->accepts(stored.text))
      throw ESettingsError(
          Format(kBadValue, {stored.text, definition->name, stored.where, definition->expected}));
    seen[index] = true;
    // A user's 0 never turns off what the build has on.
    if (user && definition->userMay == UserMay::OnlyTurnOn && !turnsOn && effective.value == u"1")
      continue;
    effective.value = stored.text;
    effective.origin = stored.where;
  }
  return seen;
}

const TSettings& BuiltInSettings() {
  static const TSettings settings;
  return settings;
}

TSettings CurrentSettings() {
  TSettings settings;
  settings.Apply(platform::ReadSettingsStore());
  return settings;
}

} // namespace tellavo
