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
  EXPECT_EQ(all["GatewayHost"]["value"].String(), "sms.staging.example");
  EXPECT_TRUE(all["GatewayHost"]["origin"].String().starts_with(settings.Origin()))
      << all["GatewayHost"]["origin"].String();
  EXPECT_EQ(all["VerifyCertificates"]["value"].String(), "1");
  EXPECT_EQ(all["ReportHost"]["origin"].String(), "built in");
  EXPECT_EQ(all["ServiceNamespace"]["origin"].String(), "built in");

  const TellavoRun plain = RunTellavo({"config"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  ASSERT_EQ(plain.OutLines().size(), 7u);
  EXPECT_TRUE(plain.OutLines()[0].starts_with("GatewayHost         sms.staging.example  (" +
                                              settings.Origin()))
      << plain.out;
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
  EXPECT_EQ(about["client"].String(), TELLAVO_VERSION);
  EXPECT_EQ(about["module"]["typeLibrary"].String(), "2.0");
#ifdef _WIN32
  EXPECT_EQ(about["module"]["version"].String(), TELLAVO_MODULE_VERSION);
  EXPECT_TRUE(about["module"]["path"].String().ends_with("Tellavo.dll"));
  // The module that the test prefix has registered, as it is built: unsigned.
  EXPECT_EQ(about["module"]["activation"].String(), "registered");
  EXPECT_EQ(about["module"]["signature"].String(), "unsigned");
#else
  EXPECT_TRUE(about["module"]["version"].IsNull());
  EXPECT_TRUE(about["module"]["path"].String().ends_with("/libtellavo.so"));
  EXPECT_EQ(about["module"]["activation"].String(), "path");
  EXPECT_TRUE(about["module"]["signature"].IsNull());
#endif

  const TellavoRun plain = RunTellavo({"--version"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.OutLines().at(0), "tellavo " TELLAVO_VERSION);
  EXPECT_EQ(plain.OutLines().at(1), "module " + about["module"]["path"].String());

  const TellavoRun missing = RunTellavo({"--version", "--module", "no-such-module"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no-such-module"), std::string::npos) << missing.err;
}

} // namespace
} // namespace tellavo::test
