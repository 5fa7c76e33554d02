// The process-wide list of class factories, the newest first. Lookups share
// the lock; adding, removing and the registration pass hold it alone.
#pragma once

#include <forward_list>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "Platform.h"

namespace tellavo::server {

class TComObjectFactory;
class TComServer;

class TComClassManager {
public:
  TComClassManager();
  ~TComClassManager();
  TComClassManager(const TComClassManager&) = delete;
  TComClassManager& operator=(const TComClassManager&) = delete;

  // Puts the factory at the head of the list, which owns it from then on.
  TComObjectFactory& AddFactory(std::unique_ptr<TComObjectFactory> factory);
  // The first factory, from the head, for the class; null if there is none.
  // Factories live until their server goes, so the pointer outlasts the lock.
  TComObjectFactory* GetFactoryFromClassID(REFCLSID classId) const;
  // Visits the factories of a server, from the head, holding the lock alone.
  template <class Visit> void ForEachFactory(const TComServer& server, Visit&& visit) {
    std::unique_lock lock(lock_);
    for (const auto& factory : factories_)
      if (BelongsTo(*factory, server))
        visit(*factory);
  }
  // Unlinks and destroys the factories of a server.
  void DestroyFactories(const TComServer& server);
  // Unlinks the factories of a server without destroying them, so that
  // nothing they hold is released: for the end of the process.
  void AbandonFactories(const TComServer& server);

private:
  static bool BelongsTo(const TComObjectFactory& factory, const TComServer& server);
  // Unlinks the factories of a server; `keep` gives up each one's ownership
  // first, so that it is not destroyed.
  void Unlink(const TComServer& server, bool keep);

  mutable std::shared_mutex lock_;
  std::forward_list<std::unique_ptr<TComObjectFactory>> factories_;
};

// The one factory list of the process, made on first use.
TComClassManager& ComClassManager();

} // namespace tellavo::server
