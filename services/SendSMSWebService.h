// The sending service for accounts without a prepaid credit.
#pragma once

#include <string>

#include "common/ComPtr.h"
#include "common/Settings.h"
#include "services/HTTPRIO.h"
#include "services/SendSMSSoap.h"
#include "services/ServiceBinding.h"

namespace tellavo {

const TServiceBinding& SendSMSBinding();

ComPtr<SendSMSSoap> SendSMSProxy(bool FromWSDL = false, std::u16string Address = {},
                                 THTTPRIO* ExistingRIO = nullptr,
                                 const TSettings& Settings = BuiltInSettings());

} // namespace tellavo
