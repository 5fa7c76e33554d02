#include "server/SystemRegistryTransaction.h"

namespace tellavo::server {

struct SystemRegistryTransaction::State {};

SystemRegistryTransaction::SystemRegistryTransaction() = default;

SystemRegistryTransaction::~SystemRegistryTransaction() = default;

bool SystemRegistryTransaction::Commit() {
  return true;
}

} // namespace tellavo::server
