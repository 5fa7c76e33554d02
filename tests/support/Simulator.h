// The gateway simulator (tools/simulator/gateway_simulator.py) for the
// lifetime of the object, and its control API.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Json.h"
#include "SimulatorProcess.h"

namespace tellavo::test {

inline constexpr std::string_view kSimulatorNamespace = "http://ws.tellavo.example/";

// One service request as the simulator received it.
struct RecordedRequest {
  std::string method;
  std::string target; // the request target as sent (absolute form through a plain proxy)
  std::string path;
  std::string host;                                         // the Host header
  std::vector<std::pair<std::string, std::string>> headers; // in the order received
  std::string body;                                         // exact bytes
  std::optional<long long> contentLength;                   // as declared
  bool chunked = false;
  bool tls = false;
  bool viaProxy = false;
  std::string connectTarget; // "host:port" of the CONNECT tunnel, empty otherwise
  int connection = 0;        // the simulator's number for the TCP connection

  // The first header of that name, compared without regard to case.
  std::optional<std::string> Header(std::string_view name) const;
};

// What the simulator counts since its last reset: connections that carried a
// service request or a CONNECT, TLS handshakes, and the resumed ones of them.
struct ConnectionCounts {
  long long connections = 0;
  long long handshakes = 0;
  long long resumed = 0;
};

class Simulator {
public:
  // Starts the simulator and waits until it listens; throws std::runtime_error
  // when it does not come up.
  explicit Simulator(std::string_view serviceNamespace = kSimulatorNamespace)
      : process_(serviceNamespace) {}

  int Port() const { return process_.Port(); }
  std::string BaseUrl() const;  // "https://127.0.0.1:N"
  std::string ProxyUrl() const; // "http://127.0.0.1:N"
  // The simulator's self-signed certificate (PEM), for clients that verify.
  const std::filesystem::path& CertificatePath() const { return process_.Certificate(); }

  std::vector<RecordedRequest> Requests() const;
  void ClearRequests() const;
  std::vector<std::string> Connects() const;
  ConnectionCounts Connections() const;
  // Appends scripted answers: a JSON object or list of objects.
  void Script(std::string_view json) const;
  void ClearScript() const;
  // Clears requests, connects, counts and script, restores default accounts
  // and messages, and closes the kept-alive connections that wait idle.
  void Reset() const;
  void SetAccounts(std::string_view json) const;
  // The accounts with their current credit, and the messages sent so far.
  JsonValue Accounts() const;
  JsonValue Messages() const;

  // One control call ("GET", "requests", ...); returns the JSON answer and
  // throws unless the status is 200.
  JsonValue Control(const char* method, std::string_view call, std::string_view body = {}) const;

private:
  SimulatorProcess process_;
};

} // namespace tellavo::test
