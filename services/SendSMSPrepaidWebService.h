// The sending service for prepaid accounts, whose originators answer mentions a credit.
#pragma once

#include <string>

#include "common/ComPtr.h"
#include "common/Settings.h"
#include "services/HTTPRIO.h"
#include "services/SendSMSSoap.h"
#include "services/ServiceBinding.h"

namespace tellavo {

const TServiceBinding& SendSMSPrepaidBinding();

ComPtr<SendSMSSoap> SendSMSPrepaidProxy(bool FromWSDL = false, std::u16string Address = {},
                                        THTTPRIO* ExistingRIO = nullptr,
                                        const TSettings& Settings = BuiltInSettings());

} // namespace tellavo
