#include "services/SendSMSWebService.h"

#include "services/SendSMSSoap.h"

namespace tellavo {

const TServiceBinding& SendSMSBinding() {
  static const TServiceBinding binding(
      SendSMSDescription(u"SendSMSWebService", u"/SendSMS/SendSMS.asmx"));
  return binding;
}

ComPtr<SendSMSSoap> SendSMSProxy(bool FromWSDL, std::u16string Address, THTTPRIO* ExistingRIO,
                                 const TSettings& Settings) {
  return SendSMSBinding().GetProxy<SendSMSSoap>(FromWSDL, std::move(Address), ExistingRIO,
                                                Settings);
}

} // namespace tellavo
