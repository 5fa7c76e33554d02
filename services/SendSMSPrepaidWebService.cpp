#include "services/SendSMSPrepaidWebService.h"

#include "services/SendSMSSoap.h"

namespace tellavo {

const TServiceBinding& SendSMSPrepaidBinding() {
  static const TServiceBinding binding(
      SendSMSDescription(u"SendSMSPrepaidWebService", u"/SendSMSPrepaid/SendSMS.asmx"));
  return binding;
}

ComPtr<SendSMSSoap> SendSMSPrepaidProxy(bool FromWSDL, std::u16string Address,
                                        THTTPRIO* ExistingRIO, const TSettings& Settings) {
  return SendSMSPrepaidBinding().GetProxy<SendSMSSoap>(FromWSDL, std::move(Address), ExistingRIO,
                                                       Settings);
}

} // namespace tellavo
