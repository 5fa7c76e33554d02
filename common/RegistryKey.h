// Owner of an open registry key, closed when the owner goes.
#pragma once

#include <utility>

#include "Platform.h"

namespace tellavo {

class RegistryKey {
public:
  RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() {
    if (key_ != nullptr)
      RegCloseKey(key_);
  }
  // The slot that a function opening the key fills.
  PHKEY Out() { return &key_; }
  HKEY Get() const { return key_; }

private:
  HKEY key_ = nullptr;
};

} // namespace tellavo
