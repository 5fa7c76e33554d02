// The GetOriginators service: answers the account's originators; the sending calls also use it as
// the credit check.
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

inline constexpr GUID IID_GetOriginatorsSoap{
    0x0469CC6F, 0x5973, 0x7551, {0x9B, 0xE5, 0xF3, 0x1E, 0x4D, 0x4D, 0x7B, 0xD5}};

struct GetOriginatorsSoap : IInvokable {
  virtual std::u16string getOriginators(std::u16string xml) = 0;

protected:
  ~GetOriginatorsSoap() = default;
};

const TServiceBinding& GetOriginatorsBinding();

ComPtr<GetOriginatorsSoap> GetOriginatorsProxy(bool FromWSDL = false, std::u16string Address = {},
                                               THTTPRIO* ExistingRIO = nullptr,
                                               const TSettings& Settings = BuiltInSettings());
} // namespace tellavo
