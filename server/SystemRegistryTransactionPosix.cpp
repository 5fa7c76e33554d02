#include "server/SystemRegistryTransaction.h"

#include "Platform.h"

namespace tellavo::server {

struct SystemRegistryTransaction::State {
  RegistryTransaction transaction;
};

SystemRegistryTransaction::SystemRegistryTransaction() : state_(std::make_unique<State>()) {}

SystemRegistryTransaction::~SystemRegistryTransaction() = default;

LSTATUS SystemRegistryTransaction::Commit() {
  return state_->transaction.Commit();
}

} // namespace tellavo::server
