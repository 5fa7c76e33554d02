// The sending port type, served by two bindings (prepaid and regular
// accounts) that differ only in their endpoint.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Platform.h"
#include "services/Invokable.h"
#include "services/ServiceBinding.h"

namespace tellavo {

inline constexpr GUID IID_SendSMSSoap{
    0xCAAE9296, 0x72EE, 0x43CA, {0x4D, 0x64, 0x0D, 0x33, 0x2C, 0x59, 0x8B, 0x66}};

struct SendSMSSoap : IInvokable {
  // Texts of up to 160 characters.
  virtual std::u16string sendSMS(std::u16string xml) = 0;
  // Texts of 161 to 612 characters, sent as concatenated parts.
  virtual std::u16string sendConcat(std::u16string xml) = 0;

protected:
  ~SendSMSSoap() = default;
};

// The description of a sending binding: the two share operations,
// identities and the action pattern, and differ in unit name and endpoint.
TServiceDescription SendSMSDescription(std::u16string_view unitName, std::u16string_view path);

} // namespace tellavo
