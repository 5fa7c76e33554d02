#include "services/ServiceBindings.h"

#include "services/GetOriginatorsWebService.h"
#include "services/GetReport2DateWebService.h"
#include "services/GetStatusWebService.h"
#include "services/SendSMSPrepaidWebService.h"
#include "services/SendSMSWebService.h"

namespace tellavo {

void RegisterServiceBindings(TInvokableClassRegistry& registry, TRemotableTypeRegistry& types) {
  for (const TServiceBinding* binding :
       {&GetOriginatorsBinding(), &GetReport2DateBinding(), &GetStatusBinding(),
        &SendSMSPrepaidBinding(), &SendSMSBinding()})
    binding->Register(registry, types);
}

} // namespace tellavo
