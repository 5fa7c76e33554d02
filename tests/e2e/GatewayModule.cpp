#include "GatewayModule.h"

#include "common/Bstr.h"

namespace tellavo::test {

namespace {

using GetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);

// Loaded once per test binary and kept until the process ends, as a client
// that keeps its object would.
class LoadedModule {
public:
  LoadedModule() {
    module_ = LoadLibraryW(TELLAVO_MODULE_PATH_U);
    if (module_ == nullptr)
      throw std::runtime_error("cannot load " TELLAVO_MODULE_PATH);
    const auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_, "DllGetClassObject")));
    if (getClassObject == nullptr)
      throw std::runtime_error("DllGetClassObject is not exported");
    ComPtr<IClassFactory> factory;
    if (FAILED(getClassObject(CLSID_Gateway, IID_IClassFactory,
                              reinterpret_cast<void**>(factory.Out()))))
      throw std::runtime_error("no class factory for Gateway");
    if (FAILED(factory->CreateInstance(nullptr, IID_IGateway,
                                       reinterpret_cast<void**>(gateway_.Out()))))
      throw std::runtime_error("cannot create a Gateway object");
  }

  IGateway& Gateway() { return *gateway_.Get(); }

private:
  HMODULE module_ = nullptr;
  ComPtr<IGateway> gateway_;
};

CallResult Result(HRESULT hr, BSTR retvalue) {
  BStr owned = BStr::Attach(retvalue);
  return {hr, owned.Text()};
}

} // namespace

IGateway& Gateway() {
  static LoadedModule module;
  return module.Gateway();
}

Arg::Arg(std::u16string_view text)
    : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
Arg::~Arg() {
  SysFreeString(value_);
}

void GatewayTest::SetUp() {
  SimulatorTest::SetUp();
  proxy_ = std::make_unique<ScopedProxyEnvironment>(Sim());
  Gateway().clearsmsbasket();
  observer_ = AddEventLogObserver([this](const EventLogEntry& e) { events_.push_back(e); });
}

void GatewayTest::TearDown() {
  RemoveEventLogObserver(observer_);
  proxy_.reset();
}

std::vector<std::u16string> GatewayTest::EventTexts() const {
  std::vector<std::u16string> texts;
  for (const auto& e : events_)
    texts.push_back(e.text);
  return texts;
}

std::u16string GatewayTest::OnlyEventText() const {
  EXPECT_EQ(events_.size(), 1u);
  if (events_.empty())
    return {};
  const EventLogEntry& e = events_.front();
  EXPECT_EQ(e.source, u"Tellavo COM API");
  EXPECT_EQ(e.type, EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(e.category, 1);
  EXPECT_EQ(e.eventId, 1u);
  return e.text;
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
