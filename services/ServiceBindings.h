// Start-up registration of the five services.
#pragma once

#include "services/InvokeRegistry.h"
#include "services/RemotableTypeRegistry.h"

namespace tellavo {

// Registers the port types of GetOriginators, GetReport2Date, GetStatus,
// SendSMSPrepaid and SendSMS, in this order. Running it again changes nothing.
void RegisterServiceBindings(TInvokableClassRegistry& registry = InvRegistry(),
                             TRemotableTypeRegistry& types = RemTypeRegistry());

} // namespace tellavo
