#include "services/SendSMSSoap.h"

#include "services/PortTypeProxy.h"

namespace tellavo {

namespace {

class SendSMSSoapProxy final : public TPortTypeProxy<SendSMSSoap> {
public:
  using TPortTypeProxy::TPortTypeProxy;
  std::u16string sendSMS(std::u16string xml) override { return Call(0, xml); }
  std::u16string sendConcat(std::u16string xml) override { return Call(1, xml); }
};

} // namespace

const std::vector<std::u16string_view>& SendSMSOperations() {
  static const std::vector<std::u16string_view> operations{u"sendSMS", u"sendConcat"};
  return operations;
}

const GUID IID_SendSMSHttpGet{
    0xD0C0B76A, 0x709D, 0x4EC4, {0xB8, 0xE2, 0x39, 0xEE, 0xF5, 0x76, 0xA6, 0x39}};
const GUID IID_SendSMSHttpPost{
    0x656355FE, 0x2FAA, 0x44B0, {0x9D, 0xF4, 0xC3, 0x07, 0x77, 0x1F, 0xE4, 0xE0}};
const TMakeEntryPoints MakeSendSMSEntryPoints = &SendSMSSoapProxy::Make<SendSMSSoapProxy>;

} // namespace tellavo
