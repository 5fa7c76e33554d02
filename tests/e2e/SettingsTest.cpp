// The run-time settings as an administrator stores them (a file on posix,
// registry values on Windows), seen by the module at each call.
#include "GatewayModule.h"
#include "common/Utf.h"
#include "support/ScopedSettings.h"

namespace tellavo::test {
namespace {

constexpr std::string_view kOtherNamespace = "urn:example:staging/";

class SettingsTest : public GatewayTest {
protected:
  ScopedSettings settings_;
};

TEST_F(SettingsTest, ConfiguredHostsCarryEveryCall) {
  settings_.SetText("GatewayHost", "sms.staging.example");
  settings_.SetText("ReportHost", "reports.staging.example");
  Queue(u"Merhaba", u"5550000001");
  const std::u16string id = SendSms(kPrepaidUser, kPassword, u"PREPAID").retvalue;
  ASSERT_FALSE(id.empty() || id == u"-1");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"TELLAVO\nINFO\n");
  EXPECT_NE(GetMsgStatus(kPrepaidUser, kPassword, id, kVendor).retvalue, u"-1");
  EXPECT_NE(GetMsgStatusToDate(kUser, kPassword, u"2026-01-01", u"2099-01-01", kVendor).retvalue,
            u"-1");
  EXPECT_TRUE(EventTexts().empty());

  std::vector<std::pair<std::string, std::string>> seen;
  for (const RecordedRequest& request : Sim().Requests())
    seen.emplace_back(request.path, request.connectTarget);
  const std::vector<std::pair<std::string, std::string>> expected{
      {"/GetOriginators/GetOriginators.asmx", "sms.staging.example:443"},
      {"/SendSMSPrepaid/SendSMS.asmx", "sms.staging.example:443"},
      {"/GetOriginators/GetOriginators.asmx", "sms.staging.example:443"},
      {"/GetStatus/GetStatus.asmx", "reports.staging.example:443"},
      {"/GetReport2Date/GetReport2Date.asmx", "reports.staging.example:443"}};
  EXPECT_EQ(seen, expected);
}

TEST_F(SettingsTest, AConfiguredNamespaceGoesIntoTheEnvelopeAndTheAction) {
  settings_.SetText("ServiceNamespace", std::string(kOtherNamespace));
  // The simulator serves only its own namespace and refuses the call with a
  // fault, after recording what came.
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"-1");
  EXPECT_TRUE(OnlyEventText().starts_with(u"ERemotableException "));
  const std::vector<RecordedRequest> requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Header("SOAPAction"),
            "\"" + std::string(kOtherNamespace) + "getOriginators\"");
  EXPECT_NE(requests[0].body.find("xmlns=\"" + std::string(kOtherNamespace) + "\""),
            std::string::npos)
      << requests[0].body;
  EXPECT_EQ(requests[0].body.find(std::string(kSimulatorNamespace)), std::string::npos);

  // Back to the built-in namespace at the very next call.
  ClearEvents();
  settings_.Remove("ServiceNamespace");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"TELLAVO\nINFO\n");
  EXPECT_TRUE(EventTexts().empty());
}

TEST_F(SettingsTest, AChangeHoldsFromTheNextCall) {
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"TELLAVO\nINFO\n");
  settings_.SetText("GatewayHost", "first.staging.example");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"TELLAVO\nINFO\n");
  settings_.SetText("GatewayHost", "other.staging.example");
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"TELLAVO\nINFO\n");
  std::vector<std::string> targets;
  for (const RecordedRequest& request : Sim().Requests())
    targets.push_back(request.connectTarget);
  EXPECT_EQ(targets,
            (std::vector<std::string>{"gateway.tellavo.example:443", "first.staging.example:443",
                                      "other.staging.example:443"}));
}

TEST_F(SettingsTest, VerifiedCertificatesRefuseTheSimulatorsSelfSignedOne) {
  settings_.SetNumber("VerifyCertificates", 1);
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"-1");
  EXPECT_TRUE(OnlyEventText().starts_with(u"ESOAPHTTPException ")) << Utf16ToUtf8(OnlyEventText());
  EXPECT_TRUE(Sim().Requests().empty());

  ClearEvents();
  settings_.SetNumber("VerifyCertificates", 0);
  EXPECT_EQ(GetInfo(kUser, kPassword, kVendor).retvalue, u"TELLAVO\nINFO\n");
  EXPECT_TRUE(EventTexts().empty());
}

TEST_F(SettingsTest, ABadSettingFailsTheCallAndSendsNothing) {
  struct Case {
    void (*store)(ScopedSettings&);
    std::string text;
    std::string value;
  };
  const Case cases[] = {
      {[](ScopedSettings& s) { s.SetText("GatewayHost", "sms.example.net:8443"); },
       "setting GatewayHost", "'sms.example.net:8443'"},
      {[](ScopedSettings& s) { s.SetText("ReportHost", "https://r.example"); },
       "setting ReportHost", "'https://r.example'"},
      {[](ScopedSettings& s) { s.SetText("ServiceNamespace", "http://ws.example.net"); },
       "setting ServiceNamespace", "'http://ws.example.net'"},
      {[](ScopedSettings& s) { s.SetNumber("VerifyCertificates", 2); },
       "setting VerifyCertificates", "'2'"},
      {[](ScopedSettings& s) { s.SetText("GatewayHots", "sms.example.net"); },
       "Unknown setting 'GatewayHots'", "sms.example.net"},
      {[](ScopedSettings& s) { s.SetMalformed("VerifyCertificates"); }, "VerifyCertificates", ""},
  };
  for (const Case& bad : cases) {
    ScopedSettings settings;
    ClearEvents();
    bad.store(settings);
    Queue(u"Merhaba", u"5550000001");
    EXPECT_EQ(SendSms(kUser, kPassword, u"TELLAVO").retvalue, u"-1") << bad.text;
    const std::string event = Utf16ToUtf8(OnlyEventText());
    EXPECT_TRUE(event.starts_with("ESettingsError ")) << event;
    EXPECT_NE(event.find(bad.text), std::string::npos) << event;
    EXPECT_NE(event.find(bad.value), std::string::npos) << event;
    EXPECT_NE(event.find(settings.Origin()), std::string::npos) << event;
  }
  EXPECT_TRUE(Sim().Requests().empty());
}

} // namespace
} // namespace tellavo::test
