#include "ScopedProxyEnvironment.h"

#include "Environment.h"
#include "Simulator.h"

namespace tellavo::test {

ScopedProxyEnvironment::ScopedProxyEnvironment(const Simulator& simulator)
    : ScopedProxyEnvironment(simulator.ProxyUrl()) {}

ScopedProxyEnvironment::ScopedProxyEnvironment(const std::string& proxyUrl) {
  Set("https_proxy", proxyUrl);
  Set("http_proxy", proxyUrl);
  Set("no_proxy", std::nullopt);
  Set("NO_PROXY", std::nullopt);
}

ScopedProxyEnvironment::~ScopedProxyEnvironment() {
  // Restored in reverse order, so a name set twice ends with its first value.
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
    SetEnvironment(it->first, it->second);
}

void ScopedProxyEnvironment::Set(const char* name, const std::optional<std::string>& value) {
  saved_.emplace_back(name, GetEnvironment(name));
  SetEnvironment(name, value);
}

} // namespace tellavo::test
