// The settings' limits as an administrator stores them (a file on posix,
// registry values on Windows), read as the module reads them: what the store
// hands over must reach the checks unchanged, a REG_DWORD as its digits.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "common/Settings.h"
#include "common/Utf.h"
#include "support/ScopedSettings.h"

namespace tellavo {
namespace {

// A host name of `size` characters in labels of at most 63.
std::string HostName(size_t size) {
  std::string name;
  while (name.size() < size)
    name += name.size() % 64 == 63 ? '.' : 'a';
  return name;
}

TEST(SettingsStoreTest, LimitsHoldOnBothSidesAsStored) {
  test::ScopedSettings stored;
  stored.SetNumber("TraceMaxBytes", UINT32_MAX);
  stored.SetText("GatewayHost", HostName(253));
  const TSettings largest = CurrentSettings();
  EXPECT_EQ(largest.Number(SettingId::TraceMaxBytes), UINT32_MAX);
  EXPECT_EQ(largest.Text(SettingId::GatewayHost), Utf8ToUtf16(HostName(253)));

  struct Bad {
    std::string name;
    std::string value;
    std::function<void(test::ScopedSettings&)> store;
  };
  const Bad cases[] = {
      {"GatewayHost", HostName(254), [](auto& s) { s.SetText("GatewayHost", HostName(254)); }},
      {"TraceMaxBodyBytes", "0", [](auto& s) { s.SetNumber("TraceMaxBodyBytes", 0); }},
      {"VerifyCertificates", "10", [](auto& s) { s.SetText("VerifyCertificates", "10"); }},
      {"VerifyCertificates", "1x", [](auto& s) { s.SetText("VerifyCertificates", "1x"); }},
      {"TraceFile", "/tmp/a\x7F.log", [](auto& s) { s.SetText("TraceFile", "/tmp/a\x7F.log"); }},
  };
  for (const Bad& bad : cases) {
    test::ScopedSettings settings;
    bad.store(settings);
    try {
      CurrentSettings();
      ADD_FAILURE() << bad.name << " '" << bad.value << "' was accepted";
    } catch (const ESettingsError& failure) {
      const std::string message = Utf16ToUtf8(failure.Message());
      EXPECT_TRUE(message.starts_with("Invalid value '" + bad.value + "' of setting " + bad.name +
                                      " in " + settings.Origin()))
          << message;
    }
  }
}

} // namespace
} // namespace tellavo
