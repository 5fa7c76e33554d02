#include <gtest/gtest.h>

#include "services/GetOriginatorsWebService.h"
#include "services/GetReport2DateWebService.h"
#include "services/GetStatusWebService.h"
#include "services/SendSMSPrepaidWebService.h"
#include "services/SendSMSWebService.h"
#include "services/ServiceBindings.h"
#include "services/ServiceConfig.h"

using namespace tellavo;

namespace {

class Proxy : public ::testing::Test {
protected:
  void SetUp() override { RegisterServiceBindings(); }
};

// The proxy behind a port type reference.
template <class PortType> THTTPRIO& RIOOf(const ComPtr<PortType>& portType) {
  const auto unknown = portType.template Query<IUnknown>(IID_IUnknown);
  return *static_cast<THTTPRIO*>(unknown.Get());
}

// The reference count of an object that the caller holds one reference to.
ULONG References(IUnknown& object) {
  object.AddRef();
  return object.Release();
}

std::u16string Endpoint(std::u16string_view host, std::u16string_view path) {
  return u"https://" + std::u16string(host) + std::u16string(path);
}

} // namespace

TEST_F(Proxy, GettersMakeNewProxiesOnTheBuiltInEndpoints) {
  const auto originators = GetOriginatorsProxy();
  const auto report = GetReport2DateProxy();
  const auto status = GetStatusProxy();
  const auto prepaid = SendSMSPrepaidProxy();
  const auto regular = SendSMSProxy();
  EXPECT_EQ(RIOOf(originators).URL(),
            Endpoint(GatewayHost, u"/GetOriginators/GetOriginators.asmx"));
  EXPECT_EQ(RIOOf(report).URL(), Endpoint(ReportHost, u"/GetReport2Date/GetReport2Date.asmx"));
  EXPECT_EQ(RIOOf(status).URL(), Endpoint(ReportHost, u"/GetStatus/GetStatus.asmx"));
  EXPECT_EQ(RIOOf(prepaid).URL(), Endpoint(GatewayHost, u"/SendSMSPrepaid/SendSMS.asmx"));
  EXPECT_EQ(RIOOf(regular).URL(), Endpoint(GatewayHost, u"/SendSMS/SendSMS.asmx"));
  EXPECT_NE(&RIOOf(prepaid), &RIOOf(regular));

  THTTPRIO& rio = RIOOf(status);
  EXPECT_EQ(rio.BoundPortType(), &GetStatusBinding().SoapPortType());
  EXPECT_EQ(rio.WSDLLocation(), u"");
  EXPECT_EQ(rio.Converter().Options().Bits(), 0x223A);
  EXPECT_EQ(References(rio), 1u);
}

TEST_F(Proxy, NewProxyHasDefaultConverterOptionsAndIsUnbound) {
  const auto rio = THTTPRIO::Create();
  EXPECT_EQ(rio->Converter().Options().Bits(), 0x221A);
  EXPECT_EQ(rio->BoundPortType(), nullptr);
  EXPECT_EQ(rio->URL(), u"");
}

TEST_F(Proxy, ExistingProxyBoundElsewhereIsRefusedAndKept) {
  const auto rio = THTTPRIO::Create();
  rio->SetURL(u"https://example.test/status");
  const auto status = rio->As<GetStatusSoap>(IID_GetStatusSoap);
  try {
    GetOriginatorsProxy(false, u"", rio.Get());
    FAIL() << "a proxy bound to GetStatusSoap served GetOriginatorsSoap";
  } catch (const EIntfCastError& error) {
    EXPECT_EQ(error.Message(), u"Interface not supported");
  }
  EXPECT_EQ(rio->BoundPortType(), &GetStatusBinding().SoapPortType());
  EXPECT_EQ(rio->URL(), u"https://example.test/status");
  EXPECT_EQ(References(*rio.Get()), 2u);
  // Asking again for the bound port type gives the same entry points.
  EXPECT_EQ(GetStatusProxy(false, u"", rio.Get()).Get(), status.Get());
}

TEST_F(Proxy, UnboundExistingProxyIsBoundAndGetsTheEndpoint) {
  const auto rio = THTTPRIO::Create();
  rio->SetURL(u"https://example.test/elsewhere");
  const auto concat = SendSMSProxy(false, u"", rio.Get());
  EXPECT_EQ(rio->BoundPortType(), &SendSMSPrepaidBinding().SoapPortType());
  EXPECT_EQ(rio->URL(), Endpoint(GatewayHost, u"/SendSMS/SendSMS.asmx"));
  // The port type reference holds the proxy on its own.
  EXPECT_EQ(References(*rio.Get()), 2u);
}

TEST_F(Proxy, UnknownPortTypeIsRefused) {
  const auto rio = THTTPRIO::Create();
  const GUID unknown{0xDEADBEEF, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  EXPECT_THROW(rio->As<IInvokable>(unknown), EIntfCastError);
  // Port types registered for description only are not served either.
  EXPECT_THROW(rio->As<IInvokable>(GetStatusBinding().HttpGetPortType().iid), EIntfCastError);
  EXPECT_EQ(rio->BoundPortType(), nullptr);
}

TEST_F(Proxy, DescriptionModeKeepsItsSettingsButIsRefusedOnCall) {
  const auto status = GetStatusProxy(true);
  THTTPRIO& rio = RIOOf(status);
  EXPECT_EQ(rio.WSDLLocation(), Endpoint(ReportHost, u"/GetStatus/GetStatus.asmx?WSDL"));
  EXPECT_EQ(rio.Service(), u"GetStatus");
  EXPECT_EQ(rio.Port(), u"GetStatusSoap");
  EXPECT_EQ(rio.URL(), u"");
  try {
    status->getStatus(u"x");
    FAIL() << "a call in description mode went ahead";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), u"WSDL mode is not supported: set the URL instead");
  }

  const auto given = GetOriginatorsProxy(true, u"https://example.test/d.wsdl");
  EXPECT_EQ(RIOOf(given).WSDLLocation(), u"https://example.test/d.wsdl");
  EXPECT_EQ(RIOOf(given).Port(), u"GetOriginatorsSoap");

  // A URL ends description mode; a description location clears URL, service and port.
  rio.SetURL(u"https://example.test/status");
  EXPECT_EQ(rio.WSDLLocation(), u"");
  rio.SetService(u"S");
  rio.SetWSDLLocation(u"https://example.test/d.wsdl");
  EXPECT_EQ(rio.URL(), u"");
  EXPECT_EQ(rio.Service(), u"");
}
