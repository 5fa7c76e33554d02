// The settings of an installation for one user, under HKCU\Software\Tellavo
// (read through the process account's key under HKEY_USERS): they count where
// the machine's key holds no value of the same name, so that the machine's
// administrator still decides every setting that key holds, and certificate
// checks they may only turn on.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "Platform.h"
#include "common/RegistryKey.h"
#include "common/Settings.h"
#include "common/Utf.h"
#include "support/ScopedSettings.h"

namespace tellavo {
namespace {

constexpr wchar_t kUserKey[] = L"Software\\Tellavo";
constexpr char kUserOrigin[] = "registry HKCU\\Software\\Tellavo";

// HKCU\Software\Tellavo for one test, which must not find it there already;
// removed again at the end.
class ScopedUserSettings {
public:
  ScopedUserSettings() {
    RegistryKey existing;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserKey, 0, KEY_READ, existing.Out()) == ERROR_SUCCESS)
      throw std::runtime_error("HKCU\\Software\\Tellavo exists already; the test would change it");
  }
  ~ScopedUserSettings() { RegDeleteTreeW(HKEY_CURRENT_USER, kUserKey); }
  ScopedUserSettings(const ScopedUserSettings&) = delete;
  ScopedUserSettings& operator=(const ScopedUserSettings&) = delete;

  void SetText(const std::wstring& name, const std::wstring& text) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kUserKey, name.c_str(), REG_SZ, text.c_str(),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
};

TEST(UserSettingsStoreTest, UserValuesFillWhatTheMachineKeyLeavesOpen) {
  test::ScopedSettings machine;
  ScopedUserSettings user;
  machine.SetText("GatewayHost", "machine.example");
  // The machine's value wins over the user's of the same name in any case.
  user.SetText(L"gatewayhost", L"user.example");
  user.SetText(L"ReportHost", L"report.user.example");

  const TSettings settings = CurrentSettings();
  EXPECT_EQ(settings.Text(SettingId::GatewayHost), u"machine.example");
  EXPECT_EQ(Utf16ToUtf8(settings.Origin(SettingId::GatewayHost)), machine.Origin());
  EXPECT_EQ(settings.Text(SettingId::ReportHost), u"report.user.example");
  EXPECT_EQ(Utf16ToUtf8(settings.Origin(SettingId::ReportHost)), kUserOrigin);

  // A bad value of the user's is refused as one of the machine's is,
  // naming the user's key; shadowed by the machine, it is never looked at.
  user.SetText(L"VerifyCertificates", L"yes");
  try {
    CurrentSettings();
    ADD_FAILURE() << "VerifyCertificates 'yes' was accepted";
  } catch (const ESettingsError& failure) {
    EXPECT_NE(Utf16ToUtf8(failure.Message()).find(kUserOrigin), std::string::npos);
  }
  machine.SetText("VerifyCertificates", "1");
  EXPECT_TRUE(CurrentSettings().Flag(SettingId::VerifyCertificates));
  // Certificate checks the user may turn on over the machine's 0, never off.
  user.SetText(L"VerifyCertificates", L"0");
  EXPECT_TRUE(CurrentSettings().Flag(SettingId::VerifyCertificates));
  machine.SetText("VerifyCertificates", "0");
  user.SetText(L"VerifyCertificates", L"1");
  const TSettings checked = CurrentSettings();
  EXPECT_TRUE(checked.Flag(SettingId::VerifyCertificates));
  EXPECT_EQ(Utf16ToUtf8(checked.Origin(SettingId::VerifyCertificates)), kUserOrigin);
}

} // namespace
} // namespace tellavo
