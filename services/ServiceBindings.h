// Start-up registration of the five services.
#pragma once

#include <string_view>

#include "services/InvokeRegistry.h"
#include "services/RemotableTypeRegistry.h"
#include "services/ServiceConfig.h"

namespace tellavo {

// Registers the port types of GetOriginators, GetReport2Date, GetStatus,
// SendSMSPrepaid and SendSMS, in this order, in `nameSpace` (by default the
// built-in one). Running it again changes nothing.
void RegisterServiceBindings(TInvokableClassRegistry& registry = InvRegistry(),
                             TRemotableTypeRegistry& types = RemTypeRegistry(),
                             std::u16string_view nameSpace = ServiceNamespace);

} // namespace tellavo
