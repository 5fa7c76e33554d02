// The error hook on a window station that nobody sees: an authentication
// request ends as the status error at once, with no dialog tried; on the
// visible one the platform's dialog is tried as before.
#include <gtest/gtest.h>

#include "TransportTestSupport.h"
#include "common/VisibleDesktop.h"
#include "support/HiddenDesktop.h"
#include "support/SimulatorFixture.h"
#include "transport/HTTPReqResp.h"
#include "transport/InternetTimeouts.h"

namespace tellavo::test {
namespace {

class HiddenDesktop : public SimulatorTest {
protected:
  // One POST answered with 401, as an authenticating server answers; what it
  // raised, and how many windows were tried meanwhile.
  std::pair<std::optional<ESOAPHTTPException>, int> Unauthorized() {
    Sim().Script(R"({"status": 401, "reason": "Unauthorized", "content_type": "text/html",
                     "headers": {"WWW-Authenticate": "Basic realm=\"sms\""}, "body": "<html/>"})");
    SetInternetTimeouts(600000);
    THTTPReqResp transport;
    transport.InvokeOptions.set(soIgnoreInvalidCerts);
    transport.SetURL(Utf8ToUtf16(Sim().BaseUrl() + "/GetOriginators/GetOriginators.asmx"));
    transport.BeforeExecute(u"http://ws.tellavo.example/getOriginators");
    WindowCreationWatch windows;
    auto raised = RaisedBy([&] {
      std::string response;
      transport.Execute("x", response);
    });
    return {raised, windows.Attempts()};
  }
};

TEST_F(HiddenDesktop, AuthenticationRequestTriesNoDialogWhereNobodySeesIt) {
  ScopedHiddenWindowStation hidden;
  EXPECT_FALSE(DesktopIsVisible());
  const auto [raised, windows] = Unauthorized();
  ASSERT_TRUE(raised);
  EXPECT_EQ(raised->StatusCode(), 401);
  EXPECT_EQ(windows, 0);
  EXPECT_EQ(Sim().Requests().size(), 1u);
}

TEST_F(HiddenDesktop, OnTheVisibleDesktopTheDialogIsTriedAsBefore) {
  EXPECT_TRUE(DesktopIsVisible());
  const auto [raised, windows] = Unauthorized();
  ASSERT_TRUE(raised);
  EXPECT_EQ(raised->StatusCode(), 401);
  EXPECT_GE(windows, 1);
}

} // namespace
} // namespace tellavo::test
