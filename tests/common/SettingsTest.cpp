// The settings table: which stored values pass, what a bad one says, and that
// an empty store leaves every built-in value.
#include <gtest/gtest.h>

#include <vector>

#include "common/Settings.h"
#include "common/Utf.h"

namespace tellavo {
namespace {

using platform::SettingsStore;
using platform::StoredSetting;
using platform::StoredType;

SettingsStore Store(std::vector<StoredSetting> settings) {
  return {u"file /etc/t.conf", std::move(settings), {}};
}

StoredSetting Text(std::u16string name, std::u16string text, std::u16string where = u"here") {
  return {std::move(name), std::move(text), StoredType::Text, std::move(where)};
}

// The message of the failure that applying the store raises.
std::u16string Refusal(const SettingsStore& store) {
  TSettings settings;
  try {
    settings.Apply(store);
  } catch (const ESettingsError& failure) {
    return failure.Message();
  }
  ADD_FAILURE() << "the store was accepted";
  return {};
}

TEST(SettingsTest, AnEmptyStoreKeepsEveryBuiltInValue) {
  TSettings settings;
  settings.Apply(Store({}));
  for (const EffectiveSetting& setting : settings.All()) {
    EXPECT_EQ(setting.value, setting.definition->builtIn);
    EXPECT_EQ(setting.origin, kBuiltInOrigin);
  }
  EXPECT_EQ(settings.All().size(), SettingDefinitions().size());
}

TEST(SettingsTest, StoredValuesReplaceTheBuiltInOnesWithTheirOrigin) {
  TSettings settings;
  settings.Apply(Store({Text(u"gatewayhost", u"sms.example.net", u"file f, line 2"),
                        Text(u"ServiceNamespace", u"urn:example:sms/", u"file f, line 3"),
                        {u"VerifyCertificates", u"1", StoredType::Number, u"registry k"}}));
  EXPECT_EQ(settings.Text(SettingId::GatewayHost), u"sms.example.net");
  EXPECT_EQ(settings.Origin(SettingId::GatewayHost), u"file f, line 2");
  EXPECT_EQ(settings.Text(SettingId::ServiceNamespace), u"urn:example:sms/");
  EXPECT_TRUE(settings.Flag(SettingId::VerifyCertificates));
  EXPECT_EQ(settings.Origin(SettingId::VerifyCertificates), u"registry k");
  EXPECT_EQ(settings.Text(SettingId::ReportHost), Definition(SettingId::ReportHost).builtIn);
  EXPECT_EQ(settings.Origin(SettingId::ReportHost), kBuiltInOrigin);
}

// The settings of the process's own account: they fill what the machine's
// leave open, and certificate checks they may only turn on.
TEST(SettingsTest, UserValuesCountWhereTheMachineLeavesRoomAndNeverTurnChecksOff) {
  const auto user = [](std::u16string name, std::u16string text) {
    StoredSetting setting = Text(std::move(name), std::move(text), u"user key");
    setting.scope = platform::StoredScope::User;
    return setting;
  };
  const auto apply = [](std::vector<StoredSetting> stored) {
    TSettings settings;
    settings.Apply(Store(std::move(stored)));
    return settings;
  };
  // Listed before the machine's, the user's values still count after them.
  TSettings settings = apply(
      {user(u"gatewayhost", u"user.example"), user(u"ReportHost", u"report.user.example"),
       user(u"TraceFile", u"bad path"), Text(u"GatewayHost", u"machine.example", u"machine key"),
       Text(u"TraceFile", u"", u"machine key")});
  EXPECT_EQ(settings.Text(SettingId::GatewayHost), u"machine.example");
  EXPECT_EQ(settings.Origin(SettingId::GatewayHost), u"machine key");
  EXPECT_EQ(settings.Text(SettingId::ReportHost), u"report.user.example");
  EXPECT_EQ(settings.Origin(SettingId::ReportHost), u"user key");
  EXPECT_EQ(Refusal(Store({user(u"TraceFile", u"bad path")})),
            u"Invalid value 'bad path' of setting TraceFile in user key: an absolute path, - for "
            u"standard error, or nothing for no trace expected");

  // Checks on: a user's 1 counts over the machine's 0, a user's 0 never
  // over a 1 of the machine (nor of the build, which stands where the
  // machine holds none).
  settings =
      apply({Text(u"VerifyCertificates", u"0", u"machine key"), user(u"VerifyCertificates", u"1")});
  EXPECT_TRUE(settings.Flag(SettingId::VerifyCertificates));
  EXPECT_EQ(settings.Origin(SettingId::VerifyCertificates), u"user key");
  settings =
      apply({Text(u"VerifyCertificates", u"1", u"machine key"), user(u"VerifyCertificates", u"0")});
  EXPECT_TRUE(settings.Flag(SettingId::VerifyCertificates));
  EXPECT_EQ(settings.Origin(SettingId::VerifyCertificates), u"machine key");
  // Settings already on when the user's are applied stand for a build with
  // checks on.
  settings.Apply(Store({user(u"VerifyCertificates", u"0")}));
  EXPECT_TRUE(settings.Flag(SettingId::VerifyCertificates));
  EXPECT_EQ(settings.Origin(SettingId::VerifyCertificates), u"machine key");
  // Hidden by the machine's value, a user's bad one is never looked at.
  EXPECT_FALSE(apply({Text(u"VerifyCertificates", u"0", u"machine key"),
                      user(u"VerifyCertificates", u"yes")})
                   .Flag(SettingId::VerifyCertificates));
}

TEST(SettingsTest, HostNames) {
  // A name in text form without the final dot is at most 253 characters, a
  // label at most 63: each limit is tried on both sides.
  const auto name = [](size_t lastLabel) {
    return std::u16string(63, u'a') + u"." + std::u16string(63, u'b') + u"." +
           std::u16string(63, u'c') + u"." + std::u16string(lastLabel, u'd');
  };
  const std::u16string longestLabel(63, u'a');
  const std::u16string longestName = name(61);
  ASSERT_EQ(longestName.size(), 253u);
  for (std::u16string_view good :
       {std::u16string_view(u"a"), std::u16string_view(u"sms.example.net"),
        std::u16string_view(u"x-1.example"), std::u16string_view(u"192.0.2.10"),
        std::u16string_view(u"EXAMPLE.NET"), std::u16string_view(longestLabel),
        std::u16string_view(longestName)})
    EXPECT_TRUE(IsHostName(good)) << Utf16ToUtf8(good);
  const std::u16string longLabel(64, u'a');
  const std::u16string longName = name(62);
  for (std::u16string_view bad :
       {std::u16string_view(u""), std::u16string_view(u"sms.example.net:8443"),
        std::u16string_view(u"https://sms.example.net"), std::u16string_view(u"-a.example"),
        std::u16string_view(u"a-.example"), std::u16string_view(u"a..example"),
        std::u16string_view(u"a.example."), std::u16string_view(u"a b"),
        std::u16string_view(u"[::1]"), std::u16string_view(u"s\u00e9.example"),
        std::u16string_view(longLabel), std::u16string_view(longName)})
    EXPECT_FALSE(IsHostName(bad)) << Utf16ToUtf8(bad);
}

TEST(SettingsTest, NamespaceURIs) {
  for (std::u16string_view good :
       {u"http://ws.example.net/", u"urn:example:sms/", u"https://x.example/a%20b/?q=1#/"})
    EXPECT_TRUE(IsNamespaceURI(good)) << Utf16ToUtf8(good);
  // Without a scheme, without the closing "/", or with what would break the
  // envelope or the SOAPAction header.
  for (std::u16string_view bad :
       {u"", u"/", u"ws.example.net/", u"http://ws.example.net", u"1http://x/",
        u"http://ws.example.net/\"x/", u"http://ws example/", u"http://ws.example/\r\nX: y/",
        u"http://ws.example/<a>/", u"ht tp://ws.example/", u"http ://ws.example/"})
    EXPECT_FALSE(IsNamespaceURI(bad)) << Utf16ToUtf8(bad);
}

TEST(SettingsTest, TraceSettings) {
  TSettings settings;
  EXPECT_EQ(settings.Text(SettingId::TraceFile), u"");
  EXPECT_EQ(settings.Number(SettingId::TraceMaxBodyBytes), 65536u);
  EXPECT_EQ(settings.Number(SettingId::TraceMaxBytes), 16777216u);
  // A relative path would depend on the host's current folder; on each
  // platform a path that only the other one roots is relative.
  std::vector<std::u16string_view> good{u"", u"-"};
  std::vector<std::u16string_view> bad{u"trace.log", u"./trace.log", u"C:trace.log", u"--"};
#ifdef _WIN32
  good.insert(good.end(), {u"C:\\ProgramData\\Tellavo\\trace.log", u"d:/trace.log",
                           u"\\\\server\\logs\\trace.log", u"//server/logs/nul.d/console.log"});
  // Names the system opens as a device or a pipe, whose server could then
  // act as the host.
  bad.insert(bad.end(),
             {u"/var/log/tellavo/trace.log", u"\\trace.log", u"C:\\a\tb", u"C:\\logs\\NUL",
              u"c:/logs/com1.log", u"C:\\logs\\Con .txt", u"C:\\logs\\lpt\u00B9",
              u"C:\\logs\\CONOUT$", u"C:\\logs\\aux:", u"\\\\.\\pipe\\trace",
              u"\\\\?\\C:\\trace.log", u"//./C:/trace.log", u"//?/C:/trace.log",
              u"\\\\server\\pipe\\trace", u"\\\\server\\MailSlot\\trace", u"\\\\server\\logs",
              u"\\\\server\\logs\\", u"C:\\logs\\"});
#else
  good.insert(good.end(), {u"/var/log/tellavo/trace.log", u"//var/log/NUL"});
  bad.insert(bad.end(), {u"C:\\ProgramData\\trace.log", u"d:/trace.log",
                         u"\\\\server\\logs\\trace.log", u"/a\tb", u"/a\x7F.log"});
#endif
  for (std::u16string_view path : good)
    EXPECT_TRUE(IsTracePath(path)) << Utf16ToUtf8(path);
  for (std::u16string_view path : bad)
    EXPECT_FALSE(IsTracePath(path)) << Utf16ToUtf8(path);
  EXPECT_EQ(Refusal(Store({Text(u"TraceFile", u"logs/trace.log")})),
            u"Invalid value 'logs/trace.log' of setting TraceFile in here: an absolute path, - "
            u"for standard error, or nothing for no trace expected");
  for (std::u16string_view name : {u"TraceMaxBodyBytes", u"TraceMaxBytes"}) {
    for (std::u16string_view bad :
         {u"0", u"000", u"-1", u"4294967296", u"00004294967296", u"42949672950", u"64k"})
      EXPECT_NE(Refusal(Store({Text(std::u16string(name), std::u16string(bad))}))
                    .find(u": a number of bytes above 0 expected"),
                std::u16string::npos)
          << Utf16ToUtf8(name) << " " << Utf16ToUtf8(bad);
  }
  settings.Apply(Store({Text(u"TraceMaxBytes", u"1000"),
                        {u"TraceMaxBodyBytes", u"10", StoredType::Number, u"registry k"}}));
  EXPECT_EQ(settings.Number(SettingId::TraceMaxBytes), 1000u);
  EXPECT_EQ(settings.Number(SettingId::TraceMaxBodyBytes), 10u);
  // The limits take what a REG_DWORD holds, up to its largest value, with or
  // without leading zeros; the trace computes with them in 64 bits.
  for (std::u16string_view text : {u"4294967295", u"0004294967295"}) {
    TSettings largest;
    largest.Apply(Store({Text(u"TraceMaxBytes", std::u16string(text)),
                         Text(u"TraceMaxBodyBytes", std::u16string(text))}));
    EXPECT_EQ(largest.Number(SettingId::TraceMaxBytes), UINT32_MAX) << Utf16ToUtf8(text);
    EXPECT_EQ(largest.Number(SettingId::TraceMaxBodyBytes), UINT32_MAX) << Utf16ToUtf8(text);
  }
}

TEST(SettingsTest, EachBadValueNamesTheSettingTheValueAndWhereItWasRead) {
  EXPECT_EQ(Refusal(Store({Text(u"GatewayHost", u"sms example", u"file f, line 4")})),
            u"Invalid value 'sms example' of setting GatewayHost in file f, line 4: a host "
            u"name expected");
  EXPECT_EQ(Refusal(Store({Text(u"ServiceNamespace", u"http://ws.example.net")})),
            u"Invalid value 'http://ws.example.net' of setting ServiceNamespace in here: an "
            u"absolute URI ending in \"/\" expected");
  for (std::u16string_view flag : {u"2", u"yes", u"", u"01", u"10", u"1x", u" 1"})
    EXPECT_NE(Refusal(Store({Text(u"VerifyCertificates", std::u16string(flag))}))
                  .find(u"of setting VerifyCertificates in here: 0 or 1 expected"),
              std::u16string::npos);
  EXPECT_EQ(Refusal(Store({Text(u"GatewayHots", u"sms.example.net")})),
            u"Unknown setting 'GatewayHots' (value 'sms.example.net') in here; the settings are "
            u"GatewayHost, ReportHost, ServiceNamespace, VerifyCertificates, TraceFile, "
            u"TraceMaxBodyBytes, TraceMaxBytes");
  EXPECT_EQ(Refusal(Store(
                {{u"", u"GatewayHost sms.example.net", StoredType::Malformed, u"file f, line 7"}})),
            u"The line 'GatewayHost sms.example.net' in file f, line 7 is not a setting: Name = "
            u"value expected");
  EXPECT_EQ(Refusal(Store({Text(u"ReportHost", u"a.example", u"line 1"),
                           Text(u"REPORTHOST", u"b.example", u"line 2")})),
            u"Setting ReportHost is set twice, in line 1 and in line 2");
}

TEST(SettingsTest, RegistryTypesMustFitTheSetting) {
  // A number may come as REG_DWORD or as its digits in REG_SZ; a text only
  // as REG_SZ.
  TSettings settings;
  settings.Apply(Store({Text(u"VerifyCertificates", u"1")}));
  EXPECT_TRUE(settings.Flag(SettingId::VerifyCertificates));
  EXPECT_EQ(Refusal(Store({{u"GatewayHost", u"1", StoredType::Number, u"registry k"}})),
            u"Setting GatewayHost in registry k has the registry type REG_DWORD: REG_SZ expected");
  EXPECT_EQ(
      Refusal(Store({{u"VerifyCertificates", u"REG_BINARY", StoredType::Other, u"registry k"}})),
      u"Setting VerifyCertificates in registry k has the registry type REG_BINARY: REG_SZ or "
      u"REG_DWORD expected");
  EXPECT_EQ(Refusal(Store({{u"VerifyCertificates", u"7", StoredType::Number, u"registry k"}})),
            u"Invalid value '7' of setting VerifyCertificates in registry k: 0 or 1 expected");
}

TEST(SettingsTest, AStoreThatCannotBeReadFailsWithItsReason) {
  EXPECT_EQ(Refusal({u"file x", {}, u"The settings file x cannot be read: Permission denied"}),
            u"The settings file x cannot be read: Permission denied");
}

} // namespace
} // namespace tellavo
