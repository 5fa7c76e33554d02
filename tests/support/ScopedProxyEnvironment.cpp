#include "ScopedProxyEnvironment.h"

#include <cstdlib>

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
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->second)
      setenv(it->first, it->second->c_str(), 1);
    else
      unsetenv(it->first);
  }
}

void ScopedProxyEnvironment::Set(const char* name, const std::optional<std::string>& value) {
  const char* old = std::getenv(name);
  saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
  if (value)
    setenv(name, value->c_str(), 1);
  else
    unsetenv(name);
}

} // namespace tellavo::test
