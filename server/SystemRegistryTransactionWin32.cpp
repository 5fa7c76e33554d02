#include "server/SystemRegistryTransaction.h"

#include "Platform.h"

namespace tellavo::server {

struct SystemRegistryTransaction::State {};

SystemRegistryTransaction::SystemRegistryTransaction() = default;

SystemRegistryTransaction::~SystemRegistryTransaction() = default;

LSTATUS SystemRegistryTransaction::Commit() {
  return ERROR_SUCCESS;
}

} // namespace tellavo::server
