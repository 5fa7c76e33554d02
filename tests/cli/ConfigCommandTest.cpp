// tellavo config and tellavo --version: what the client reports of the
// settings in force and of the module it uses.
#include <gtest/gtest.h>

#include "TellavoProcess.h"
#include "support/ScopedSettings.h"

namespace tellavo::test {
namespace {

TEST(ConfigCommandTest, EachSettingComesWithItsOrigin) {
  ScopedSettings settings;
  settings.SetText("GatewayHost", "sms.staging.example");
  settings.SetNumber("VerifyCertificates", 1);
  const TellavoRun run = RunTellavo({"config", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<JsonValue> lines = run.OutJson();
  ASSERT_EQ(lines.size(), 1u);
  const JsonValue& all = lines[0];
  EXPECT_EQ(all.at("GatewayHost").at("value"), "sms.staging.example");
  EXPECT_TRUE(all.at("GatewayHost").at("origin").get<std::string>().starts_with(settings.Origin()))
      << all.at("GatewayHost").at("origin").get<std::string>();
  EXPECT_EQ(all.at("VerifyCertificates").at("value"), "1");
  EXPECT_EQ(all.at("ReportHost").at("origin"), "built in");
  EXPECT_EQ(all.at("ServiceNamespace").at("origin"), "built in");

  const TellavoRun plain = RunTellavo({"config"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  ASSERT_EQ(plain.OutLines().size(), 7u);
  EXPECT_TRUE(plain.OutLines()[0].starts_with("GatewayHost         sms.staging.example  (" +
                                              settings.Origin()))
      << plain.out;
}

TEST(ConfigCommandTest, HelpNamesEverySettingShown) {
  const TellavoRun shown = RunTellavo({"config"});
  const TellavoRun help = RunTellavo({"config", "--help"});
  ASSERT_EQ(help.status, 0) << help.err;
  ASSERT_FALSE(shown.OutLines().empty()) << shown.err;
  for (const std::string& line : shown.OutLines()) {
    const std::string name = line.substr(0, line.find(' '));
    EXPECT_NE(help.out.find("  " + name + ": "), std::string::npos) << name << "\n" << help.out;
  }
}

TEST(ConfigCommandTest, ABadSettingIsTheFailure) {
  ScopedSettings settings;
  settings.SetText("ServiceNamespace", "ws.example.net");
  const TellavoRun run = RunTellavo({"config"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("ESettingsError Invalid value 'ws.example.net' of setting "
                         "ServiceNamespace in " +
                         settings.Origin()),
            std::string::npos)
      << run.err;
}

TEST(ConfigCommandTest, ArgumentsAreAUsageError) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"config", "GatewayHost"}, {"config", "--json", "GatewayHost"}}) {
    const TellavoRun run = RunTellavo(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("config takes no arguments\nTry 'tellavo config --help'"),
              std::string::npos)
        << run.err;
  }
}

TEST(ConfigCommandTest, VersionNamesTheClientAndTheModule) {
  const TellavoRun run = RunTellavo({"--version", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const JsonValue about = run.OutJson().at(0);
  EXPECT_EQ(about.at("client"), TELLAVO_VERSION);
  EXPECT_EQ(about.at("module").at("typeLibrary"), "2.0");
#ifdef _WIN32
  EXPECT_EQ(about.at("module").at("version"), TELLAVO_MODULE_VERSION);
  EXPECT_TRUE(about.at("module").at("path").get<std::string>().ends_with("Tellavo.dll"));
  // The module that the test prefix has registered, as it is built: unsigned.
  EXPECT_EQ(about.at("module").at("activation"), "registered");
  EXPECT_EQ(about.at("module").at("signature"), "unsigned");
#else
  EXPECT_TRUE(about.at("module").at("version").is_null());
  EXPECT_TRUE(about.at("module").at("path").get<std::string>().ends_with("/libtellavo.so"));
  EXPECT_EQ(about.at("module").at("activation"), "path");
  EXPECT_TRUE(about.at("module").at("signature").is_null());
#endif

  const TellavoRun plain = RunTellavo({"--version"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.OutLines().at(0), "tellavo " TELLAVO_VERSION);
  EXPECT_EQ(plain.OutLines().at(1), "module " + about.at("module").at("path").get<std::string>());

  const TellavoRun missing = RunTellavo({"--version", "--module", "no-such-module"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no-such-module"), std::string::npos) << missing.err;
}

} // namespace
} // namespace tellavo::test
