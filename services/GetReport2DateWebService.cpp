#include "services/GetReport2DateWebService.h"

#include <utility>

#include "services/PortTypeProxy.h"

namespace tellavo {

namespace {

class GetReport2DateSoapProxy final : public TPortTypeProxy<GetReport2DateSoap> {
public:
  using TPortTypeProxy::TPortTypeProxy;
  std::u16string getReport2Date(std::u16string xml) override { return Call(0, std::move(xml)); }
};

} // namespace

const TServiceBinding& GetReport2DateBinding() {
  static const TServiceBinding binding({
      .unitName = u"GetReport2DateWebService",
      .portTypeBase = u"GetReport2Date",
      .operations = {u"getReport2Date"},
      .soapIID = IID_GetReport2DateSoap,
      .httpGetIID = {0x53EE259C, 0x9084, 0x4CEF, {0x88, 0xB0, 0x2D, 0xF4, 0x43, 0xCA, 0x64, 0xD2}},
      .httpPostIID = {0xE7437B5B, 0x141A, 0x4BC0, {0x8E, 0x82, 0x2B, 0xBE, 0xE6, 0x9F, 0xFC, 0x98}},
      .makeEntryPoints = &GetReport2DateSoapProxy::Make<GetReport2DateSoapProxy>,
      .host = SettingId::ReportHost,
      .path = u"/GetReport2Date/GetReport2Date.asmx",
      .wsdlService = u"GetReport2Date",
      .wsdlPort = u"GetReport2DateSoap",
      .actionSuffix = u"getReport2Date",
      .repeatable = true,
  });
  return binding;
}

ComPtr<GetReport2DateSoap> GetReport2DateProxy(bool FromWSDL, std::u16string Address,
                                               THTTPRIO* ExistingRIO, const TSettings& Settings) {
  return GetReport2DateBinding().GetProxy<GetReport2DateSoap>(FromWSDL, std::move(Address),
                                                              ExistingRIO, Settings);
}

} // namespace tellavo
