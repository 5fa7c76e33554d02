#include "GatewayModule.h"

#include "common/Bstr.h"

namespace tellavo::test {

namespace {

CallResult Result(HRESULT hr, BSTR retvalue) {
  BStr owned = BStr::Attach(retvalue);
  return {hr, owned.Text()};
}

} // namespace

void GatewayTest::SetUp() {
  SimulatorTest::SetUp();
  proxy_ = std::make_unique<ScopedProxyEnvironment>(Sim());
  Gateway().clearsmsbasket();
  events_ = std::make_unique<EventLogWatch>();
}

void GatewayTest::TearDown() {
  events_.reset();
  proxy_.reset();
}

std::vector<std::u16string> GatewayTest::EventTexts() const {
  return events_->Texts();
}

void GatewayTest::ClearEvents() {
  events_->Clear();
}

std::u16string GatewayTest::OnlyEventText() const {
  const std::vector<std::u16string> texts = events_->Texts();
  EXPECT_EQ(texts.size(), 1u);
  if (texts.empty())
    return {};
  EXPECT_TRUE(events_->AllAreFailureReports());
  return texts.front();
}

void GatewayTest::Queue(std::u16string_view text, std::u16string_view number) {
  BSTR retvalue = nullptr;
  ASSERT_EQ(Gateway().addtosmsbasket(Arg(text), Arg(number), &retvalue), S_OK);
  EXPECT_EQ(retvalue, nullptr);
}

CallResult GetInfo(std::u16string_view user, std::u16string_view password,
                   std::u16string_view vendor) {
  BSTR retvalue = nullptr;
  const HRESULT hr = Gateway().getinfo(Arg(user), Arg(password), Arg(vendor), &retvalue);
  return Result(hr, retvalue);
}

CallResult GetMsgStatus(std::u16string_view user, std::u16string_view password,
                        std::u16string_view packet, std::u16string_view vendor) {
  BSTR retvalue = nullptr;
  const HRESULT hr =
      Gateway().getmsgstatus(Arg(user), Arg(password), Arg(packet), Arg(vendor), &retvalue);
  return Result(hr, retvalue);
}

CallResult GetMsgStatusToDate(std::u16string_view user, std::u16string_view password,
                              std::u16string_view date1, std::u16string_view date2,
                              std::u16string_view vendor) {
  BSTR retvalue = nullptr;
  const HRESULT hr = Gateway().getmsgstatustodate(Arg(user), Arg(password), Arg(date1), Arg(date2),
                                                  Arg(vendor), &retvalue);
  return Result(hr, retvalue);
}

CallResult SendSms(std::u16string_view user, std::u16string_view password,
                   std::u16string_view originator) {
  BSTR retvalue = nullptr;
  const HRESULT hr = Gateway().sendsms(Arg(user), Arg(password), Arg(originator), Arg(u""),
                                       Arg(kVendor), &retvalue);
  return Result(hr, retvalue);
}

CallResult SendSmsConcat(std::u16string_view user, std::u16string_view password,
                         std::u16string_view originator) {
  BSTR retvalue = nullptr;
  const HRESULT hr = Gateway().sendsmsconcat(Arg(user), Arg(password), Arg(originator), Arg(u""),
                                             Arg(kVendor), &retvalue);
  return Result(hr, retvalue);
}

void ScriptAnswer(const std::string& json) {
  SharedSimulator().Script(json);
}

void ScriptResult(const std::string& resultJson) {
  ScriptAnswer("{\"result\": " + resultJson + "}");
}

} // namespace tellavo::test
