#include "services/GetOriginatorsWebService.h"

#include <utility>

#include "services/PortTypeProxy.h"

namespace tellavo {

namespace {

class GetOriginatorsSoapProxy final : public TPortTypeProxy<GetOriginatorsSoap> {
public:
  using TPortTypeProxy::TPortTypeProxy;
  std::u16string getOriginators(std::u16string xml) override { return Call(0, std::move(xml)); }
};

} // namespace

const TServiceBinding& GetOriginatorsBinding() {
  static const TServiceBinding binding({
      .unitName = u"GetOriginatorsWebService",
      .portTypeBase = u"GetOriginators",
      .operations = {u"getOriginators"},
      .soapIID = IID_GetOriginatorsSoap,
      .httpGetIID = {0x0ADE5A7C, 0x0C6E, 0x4452, {0x84, 0xC2, 0x0B, 0x85, 0xD4, 0x64, 0xCD, 0xE3}},
      .httpPostIID = {0x05B7960B, 0x9B95, 0x4EBE, {0xA3, 0x78, 0xFA, 0x47, 0xF4, 0x4E, 0xDE, 0xD4}},
      .makeEntryPoints = &GetOriginatorsSoapProxy::Make<GetOriginatorsSoapProxy>,
      .host = SettingId::GatewayHost,
      .path = u"/GetOriginators/GetOriginators.asmx",
      .wsdlService = u"GetOriginators",
      .wsdlPort = u"GetOriginatorsSoap",
      .actionSuffix = u"getOriginators",
      .repeatable = true,
  });
  return binding;
}

ComPtr<GetOriginatorsSoap> GetOriginatorsProxy(bool FromWSDL, std::u16string Address,
                                               THTTPRIO* ExistingRIO, const TSettings& Settings) {
  return GetOriginatorsBinding().GetProxy<GetOriginatorsSoap>(FromWSDL, std::move(Address),
                                                              ExistingRIO, Settings);
}

} // namespace tellavo
