#include "server/ClassManager.h"

#include "server/ObjectFactory.h"

namespace tellavo::server {

TComClassManager::TComClassManager() = default;
TComClassManager::~TComClassManager() = default;

TComObjectFactory& TComClassManager::AddFactory(std::unique_ptr<TComObjectFactory> factory) {
  std::unique_lock lock(lock_);
  factories_.push_front(std::move(factory));
  return *factories_.front();
}

TComObjectFactory* TComClassManager::GetFactoryFromClassID(REFCLSID classId) const {
  std::shared_lock lock(lock_);
  for (const auto& factory : factories_)
    if (IsEqualGUID(factory->ClassID(), classId))
      return factory.get();
  return nullptr;
}

void TComClassManager::DestroyFactories(const TComServer& server) {
  Unlink(server, false);
}

void TComClassManager::AbandonFactories(const TComServer& server) {
  Unlink(server, true);
}

void TComClassManager::Unlink(const TComServer& server, bool keep) {
  std::unique_lock lock(lock_);
  factories_.remove_if([&](std::unique_ptr<TComObjectFactory>& factory) {
    if (!BelongsTo(*factory, server))
      return false;
    if (keep)
      static_cast<void>(factory.release());
    return true;
  });
}

bool TComClassManager::BelongsTo(const TComObjectFactory& factory, const TComServer& server) {
  return &factory.ComServer() == &server;
}

TComClassManager& ComClassManager() {
  static TComClassManager manager;
  return manager;
}

} // namespace tellavo::server
