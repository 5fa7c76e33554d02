#include "services/RemotableTypeRegistry.h"

#include <algorithm>

namespace tellavo {

void TRemotableTypeRegistry::RegisterXSInfo(std::u16string_view typeName,
                                            std::u16string_view nameSpace,
                                            std::u16string_view xmlName) {
  TRemotableTypeRegistration registration{std::u16string(typeName), std::u16string(nameSpace),
                                          std::u16string(xmlName)};
  std::lock_guard guard(lock_);
  if (std::ranges::find(registrations_, registration) == registrations_.end())
    registrations_.push_back(std::move(registration));
}

std::vector<TRemotableTypeRegistration> TRemotableTypeRegistry::Registrations() const {
  std::lock_guard guard(lock_);
  return registrations_;
}

TRemotableTypeRegistry& RemTypeRegistry() {
  static TRemotableTypeRegistry registry;
  return registry;
}

} // namespace tellavo
