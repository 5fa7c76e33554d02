#include "services/SendSMSWebService.h"

#include "services/ServiceConfig.h"

namespace tellavo {

const TServiceBinding& SendSMSBinding() {
  static const TServiceBinding binding({
      .unitName = u"SendSMSWebService",
      .portTypeBase = u"SendSMS",
      .operations = SendSMSOperations(),
      .soapIID = IID_SendSMSSoap,
      .httpGetIID = IID_SendSMSHttpGet,
      .httpPostIID = IID_SendSMSHttpPost,
      .makeEntryPoints = MakeSendSMSEntryPoints,
      .host = GatewayHost,
      .path = u"/SendSMS/SendSMS.asmx",
      .wsdlService = u"SendSMS",
      .wsdlPort = u"SendSMSSoap",
      .actionSuffix = kSendSMSActionSuffix,
  });
  return binding;
}

ComPtr<SendSMSSoap> SendSMSProxy(bool FromWSDL, std::u16string Address, THTTPRIO* ExistingRIO) {
  return SendSMSBinding().GetProxy<SendSMSSoap>(FromWSDL, std::move(Address), ExistingRIO);
}

} // namespace tellavo
