#include "services/SendSMSPrepaidWebService.h"

#include "services/ServiceConfig.h"

namespace tellavo {

const TServiceBinding& SendSMSPrepaidBinding() {
  static const TServiceBinding binding({
      .unitName = u"SendSMSPrepaidWebService",
      .portTypeBase = u"SendSMS",
      .operations = SendSMSOperations(),
      .soapIID = IID_SendSMSSoap,
      .httpGetIID = IID_SendSMSHttpGet,
      .httpPostIID = IID_SendSMSHttpPost,
      .makeEntryPoints = MakeSendSMSEntryPoints,
      .host = GatewayHost,
      .path = u"/SendSMSPrepaid/SendSMS.asmx",
      .wsdlService = u"SendSMS",
      .wsdlPort = u"SendSMSSoap",
      .actionSuffix = kSendSMSActionSuffix,
  });
  return binding;
}

ComPtr<SendSMSSoap> SendSMSPrepaidProxy(bool FromWSDL, std::u16string Address,
                                        THTTPRIO* ExistingRIO) {
  return SendSMSPrepaidBinding().GetProxy<SendSMSSoap>(FromWSDL, std::move(Address), ExistingRIO);
}

} // namespace tellavo
