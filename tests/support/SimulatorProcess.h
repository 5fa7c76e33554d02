// Where the gateway simulator runs and how its control API is reached: the
// part of the test support that differs between the two targets.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace tellavo::test {

// A running simulator. On posix it is this process's child; under Wine it is
// the one that the test runner started for this program (a Windows program
// cannot start it), which then must serve the default namespace.
class SimulatorProcess {
public:
  explicit SimulatorProcess(std::string_view serviceNamespace);
  ~SimulatorProcess();
  SimulatorProcess(const SimulatorProcess&) = delete;
  SimulatorProcess& operator=(const SimulatorProcess&) = delete;

  int Port() const { return port_; }
  const std::filesystem::path& Certificate() const { return certificate_; }

private:
  struct Running;

  std::unique_ptr<Running> running_;
  int port_ = 0;
  std::filesystem::path certificate_;
};

struct ControlAnswer {
  long status = 0;
  std::string body;
};

// One plain-HTTP request to the simulator's control API, never through a
// proxy; throws std::runtime_error when no answer arrives.
ControlAnswer SendControlRequest(const char* method, const std::string& url, std::string_view body);

} // namespace tellavo::test
