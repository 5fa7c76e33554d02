#include <gtest/gtest.h>

#include "common/Utf.h"
#include "services/GetOriginatorsWebService.h"
#include "services/SendSMSWebService.h"
#include "services/ServiceBindings.h"
#include "services/ServiceConfig.h"
#include "support/ScopedProxyEnvironment.h"
#include "support/SimulatorFixture.h"
#include "support/Wine.h"

using namespace tellavo;
using tellavo::test::ScopedProxyEnvironment;

namespace {

const std::u16string kOriginatorsRequest =
    u"<?xml version=\"1.0\" encoding=\"utf-8\"?><GETORIGINATORS><USERNAME>tellavo</USERNAME>"
    u"<PASSWORD>s3cret</PASSWORD><VENDOR_ID>42</VENDOR_ID></GETORIGINATORS>";

class EndToEnd : public tellavo::test::SimulatorTest {
protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    RegisterServiceBindings();
  }
};

} // namespace

TEST_F(EndToEnd, OperationRoundTripOnTheBuiltInEndpoint) {
  ScopedProxyEnvironment route(Sim());
  const auto originators = GetOriginatorsProxy();
  THTTPRIO& rio = *static_cast<THTTPRIO*>(originators.Query<IUnknown>(IID_IUnknown).Get());
  std::string sent;
  rio.OnBeforeExecute = [&](std::u16string_view, std::string& request) { sent = request; };

  const std::u16string answer = originators->getOriginators(kOriginatorsRequest);
  EXPECT_NE(answer.find(u"<ORIGINATOR>TELLAVO</ORIGINATOR>"), std::u16string::npos)
      << Utf16ToUtf8(answer);

  const auto requests = Sim().Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, "/GetOriginators/GetOriginators.asmx");
  EXPECT_EQ(requests[0].connectTarget, Utf16ToUtf8(GatewayHost) + ":443");
  const std::string action = Utf16ToUtf8(ServiceNamespace) + "getOriginators";
  EXPECT_EQ(requests[0].Header("SOAPAction"), '"' + action + '"');
  EXPECT_EQ(requests[0].body, sent);
}

TEST_F(EndToEnd, FaultsAndUnhandledHeadersReachTheCaller) {
  ScopedProxyEnvironment route(Sim());
  const auto originators = GetOriginatorsProxy();
  size_t sendAt = 0;
  if (test::RunningUnderWine()) {
    // Wine's client streams a request through a proxy only over a tunnel it
    // already holds (on a new connection it returns after the CONNECT, and
    // the send fails unsent), where Windows opens the tunnel first: a query,
    // as a send's credit check does, opens it.
    Sim().Script(R"({"match_path": "/GetOriginators/GetOriginators.asmx", "result": "<O/>"})");
    originators->getOriginators(kOriginatorsRequest);
    sendAt = 1;
  }
  Sim().Script(R"([{"fault": {"code": "soap:Client", "string": "Bad input",
                              "detail_xml": "<x>1</x>"}},
                   {"envelope": "must_understand"}, {"envelope": "soap12"}])");
  const auto sending = SendSMSProxy();
  try {
    sending->sendConcat(u"<SENDCONCAT/>");
    FAIL() << "the fault was not raised";
  } catch (const ERemotableException& fault) {
    EXPECT_EQ(fault.Message(), u"Bad input");
    EXPECT_EQ(fault.FaultCode(), u"soap:Client");
    // Wine's DOM writes the detail indented.
    const std::u16string detail = fault.FaultDetail();
    EXPECT_EQ(test::RunningUnderWine() ? Utf8ToUtf16(test::WithoutWineLayout(Utf16ToUtf8(detail)))
                                       : detail,
              u"<detail><x>1</x></detail>");
  }
  EXPECT_THROW(originators->getOriginators(kOriginatorsRequest), ERemotableException);
  EXPECT_THROW(originators->getOriginators(kOriginatorsRequest), ESOAPDomConvertError);
  EXPECT_EQ(Sim().Requests().at(sendAt).path, "/SendSMS/SendSMS.asmx");
}
