#include "services/ServiceBindings.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "services/GetOriginatorsWebService.h"
#include "services/GetReport2DateWebService.h"
#include "services/GetStatusWebService.h"
#include "services/SendSMSPrepaidWebService.h"
#include "services/SendSMSWebService.h"

namespace tellavo {

void RegisterServiceBindings(TInvokableClassRegistry& registry, TRemotableTypeRegistry& types,
                             std::u16string_view nameSpace) {
  for (const TServiceBinding* binding :
       {&GetOriginatorsBinding(), &GetReport2DateBinding(), &GetStatusBinding(),
        &SendSMSPrepaidBinding(), &SendSMSBinding()})
    binding->Register(registry, types, nameSpace);
}

TInvokableClassRegistry& RegistryFor(std::u16string_view nameSpace) {
  if (nameSpace == ServiceNamespace)
    return InvRegistry();
  // One pair per namespace ever configured in the process: a handful at most.
  struct Registries {
    TInvokableClassRegistry ports;
    TRemotableTypeRegistry types;
  };
  static std::mutex lock;
  static std::map<std::u16string, std::unique_ptr<Registries>, std::less<>> byNamespace;
  const std::lock_guard<std::mutex> guard(lock);
  auto found = byNamespace.find(nameSpace);
  if (found == byNamespace.end()) {
    auto made = std::make_unique<Registries>();
    RegisterServiceBindings(made->ports, made->types, nameSpace);
    found = byNamespace.emplace(std::u16string(nameSpace), std::move(made)).first;
  }
  return found->second->ports;
}

} // namespace tellavo
