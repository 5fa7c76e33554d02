#include "services/GetStatusWebService.h"

#include <utility>

#include "services/PortTypeProxy.h"

namespace tellavo {

namespace {

class GetStatusSoapProxy final : public TPortTypeProxy<GetStatusSoap> {
public:
  using TPortTypeProxy::TPortTypeProxy;
  std::u16string getStatus(std::u16string xml) override { return Call(0, std::move(xml)); }
};

} // namespace

const TServiceBinding& GetStatusBinding() {
  static const TServiceBinding binding({
      .unitName = u"GetStatusWebService",
      .portTypeBase = u"GetStatus",
      .operations = {u"getStatus"},
      .soapIID = IID_GetStatusSoap,
      .httpGetIID = {0x801494B7, 0xE8C4, 0x4738, {0xAB, 0xE9, 0xAE, 0x64, 0xA2, 0x26, 0x42, 0x73}},
      .httpPostIID = {0x7062887C, 0x9A63, 0x4235, {0xAA, 0x52, 0xB9, 0x08, 0xE5, 0xE8, 0x0D, 0xC2}},
      .makeEntryPoints = &GetStatusSoapProxy::Make<GetStatusSoapProxy>,
      .host = SettingId::ReportHost,
      .path = u"/GetStatus/GetStatus.asmx",
      .wsdlService = u"GetStatus",
      .wsdlPort = u"GetStatusSoap",
      .actionSuffix = u"getStatus",
      .repeatable = true,
  });
  return binding;
}

ComPtr<GetStatusSoap> GetStatusProxy(bool FromWSDL, std::u16string Address, THTTPRIO* ExistingRIO,
                                     const TSettings& Settings) {
  return GetStatusBinding().GetProxy<GetStatusSoap>(FromWSDL, std::move(Address), ExistingRIO,
                                                    Settings);
}

} // namespace tellavo
