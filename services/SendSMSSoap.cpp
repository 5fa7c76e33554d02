#include "services/SendSMSSoap.h"

#include <utility>

#include "services/InvokeRegistry.h"
#include "services/PortTypeProxy.h"

namespace tellavo {

namespace {

class SendSMSSoapProxy final : public TPortTypeProxy<SendSMSSoap> {
public:
  using TPortTypeProxy::TPortTypeProxy;
  std::u16string sendSMS(std::u16string xml) override { return Call(0, std::move(xml)); }
  std::u16string sendConcat(std::u16string xml) override { return Call(1, std::move(xml)); }
};

// The HTTP port types, which nothing binds, share identities across the two
// bindings as the SOAP port type does.
constexpr GUID kSendSMSHttpGet{
    0xD0C0B76A, 0x709D, 0x4EC4, {0xB8, 0xE2, 0x39, 0xEE, 0xF5, 0x76, 0xA6, 0x39}};
constexpr GUID kSendSMSHttpPost{
    0x656355FE, 0x2FAA, 0x44B0, {0x9D, 0xF4, 0xC3, 0x07, 0x77, 0x1F, 0xE4, 0xE0}};

} // namespace

TServiceDescription SendSMSDescription(std::u16string_view unitName, std::u16string_view path) {
  return {
      .unitName = unitName,
      .portTypeBase = u"SendSMS",
      .operations = {u"sendSMS", u"sendConcat"},
      .soapIID = IID_SendSMSSoap,
      .httpGetIID = kSendSMSHttpGet,
      .httpPostIID = kSendSMSHttpPost,
      .makeEntryPoints = &SendSMSSoapProxy::Make<SendSMSSoapProxy>,
      .host = SettingId::GatewayHost,
      .path = path,
      .wsdlService = u"SendSMS",
      .wsdlPort = u"SendSMSSoap",
      .actionSuffix = kOperationNamePlaceholder,
  };
}

} // namespace tellavo
