// The GetStatus service: answers the status of one sent message.
#pragma once

#include <string>
#include <string_view>

#include "Platform.h"
#include "common/ComPtr.h"
#include "common/Settings.h"
#include "services/HTTPRIO.h"
#include "services/Invokable.h"
#include "services/ServiceBinding.h"

namespace tellavo {

inline constexpr GUID IID_GetStatusSoap{
    0x4F18B045, 0xCEA2, 0x5CA9, {0xD8, 0xEE, 0xAF, 0x6E, 0x5A, 0xE0, 0xD9, 0x36}};

struct GetStatusSoap : IInvokable {
  virtual std::u16string getStatus(std::u16string xml) = 0;

protected:
  ~GetStatusSoap() = default;
};

const TServiceBinding& GetStatusBinding();

ComPtr<GetStatusSoap> GetStatusProxy(bool FromWSDL = false, std::u16string Address = {},
                                     THTTPRIO* ExistingRIO = nullptr,
                                     const TSettings& Settings = BuiltInSettings());
} // namespace tellavo
