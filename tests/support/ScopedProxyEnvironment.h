// Routes HTTP(S) clients of this process through a proxy for one scope, the
// way a user would configure it: https_proxy and http_proxy set, no_proxy and
// NO_PROXY cleared. The previous values come back when the scope ends.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tellavo::test {

class Simulator;

class ScopedProxyEnvironment {
public:
  explicit ScopedProxyEnvironment(const Simulator& simulator);
  explicit ScopedProxyEnvironment(const std::string& proxyUrl);
  ~ScopedProxyEnvironment();
  ScopedProxyEnvironment(const ScopedProxyEnvironment&) = delete;
  ScopedProxyEnvironment& operator=(const ScopedProxyEnvironment&) = delete;

private:
  void Set(const char* name, const std::optional<std::string>& value);

  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

} // namespace tellavo::test
