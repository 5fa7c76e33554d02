// The GetReport2Date service: answers the status report of the messages sent between two dates.
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

inline constexpr GUID IID_GetReport2DateSoap{
    0x00C29629, 0xD895, 0xEF67, {0x8D, 0x2C, 0x62, 0x2C, 0xD4, 0xD5, 0x1C, 0x20}};

struct GetReport2DateSoap : IInvokable {
  virtual std::u16string getReport2Date(std::u16string xml) = 0;

protected:
  ~GetReport2DateSoap() = default;
};

const TServiceBinding& GetReport2DateBinding();

ComPtr<GetReport2DateSoap> GetReport2DateProxy(bool FromWSDL = false, std::u16string Address = {},
                                               THTTPRIO* ExistingRIO = nullptr,
                                               const TSettings& Settings = BuiltInSettings());
} // namespace tellavo
