// What makes a registration pass one change of the system's registry. The
// posix platform's hive needs a transaction around the pass for that; the
// Windows registry takes each call as it comes, so there it does nothing.
#pragma once

#include <memory>

#include "Platform.h"

namespace tellavo::server {

class SystemRegistryTransaction {
public:
  // Begins the transaction for the calling thread's registry calls.
  SystemRegistryTransaction();
  // Drops what was not committed.
  ~SystemRegistryTransaction();
  SystemRegistryTransaction(const SystemRegistryTransaction&) = delete;
  SystemRegistryTransaction& operator=(const SystemRegistryTransaction&) = delete;

  // The registry's error when the changes could not be written (they are
  // then lost); ERROR_SUCCESS when they were.
  LSTATUS Commit();

private:
  struct State;
  std::unique_ptr<State> state_;
};

} // namespace tellavo::server
