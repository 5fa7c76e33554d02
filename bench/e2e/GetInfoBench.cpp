// getinfo calls through the module against curl's command-line client making
// the same POSTs, both through the gateway simulator as the HTTPS proxy to the
// built-in endpoint: N calls in one process (getinfo_calls, a small program
// that loads the module; curl: one invocation with N URLs, keeping its
// connection alive between them), for N = 50 and N = 1.
//
// Each side is a process of its own, started in turn within one iteration, so
// that both pay for starting up and neither finds a connection kept from an
// earlier run (the simulator's reset between runs closes any). The figure is
// the client's CPU time, user and system, as wait4 reports it for the child;
// the counters are the medians over the iterations and their ratio, with the
// simulator's connection and handshake counts of the module's last run.
//
// GetInfoTraced: the same program making 400 calls with the wire trace off
// and on (to a file under the system's temporary folder), in turn within
// each iteration; the counters are the medians of both CPU times and their
// ratio.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ScopedProxyEnvironment.h"
#include "support/Simulator.h"

extern char** environ;

namespace {

using tellavo::test::Simulator;

constexpr const char* kUrl = "https://gateway.tellavo.example/GetOriginators/GetOriginators.asmx";

// The envelope that getinfo sends for the same account.
const std::string kEnvelope =
    "<?xml version=\"1.0\"?>\r\n<SOAP-ENV:Envelope "
    "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><SOAP-ENV:Body><getOriginators "
    "xmlns=\"http://ws.tellavo.example/\"><xml>&lt;?xml version=\"1.0\" encoding=\"utf-8\" "
    "?&gt;&lt;GETORIGINATORS&gt;&lt;USERNAME&gt;tellavo&lt;/USERNAME&gt;&lt;PASSWORD&gt;s3cret&lt;/"
    "PASSWORD&gt;&lt;VENDOR_ID&gt;42&lt;/VENDOR_ID&gt;&lt;/GETORIGINATORS&gt;</xml></"
    "getOriginators></SOAP-ENV:Body></SOAP-ENV:Envelope>\r\n";

std::vector<std::string> ModuleCommand(int calls) {
  return {TELLAVO_GETINFO_CALLS_PATH, std::to_string(calls)};
}

// curl's client with the same headers and body for each of the calls; its
// proxy comes from the environment, as the module's does.
std::vector<std::string> CurlCommand(int calls) {
  std::vector<std::string> command{"curl", "-q"};
  for (int i = 0; i < calls; ++i) {
    if (i > 0)
      command.push_back("--next");
    command.insert(command.end(),
                   {"-s", "-k", "--fail", "-o", "/dev/null", "-H",
                    "SOAPAction: \"http://ws.tellavo.example/getOriginators\"", "-H",
                    "Content-Type: text/xml; charset=\"utf-8\"", "--data-binary", kEnvelope, kUrl});
  }
  return command;
}

struct Run {
  bool ok = false;
  double cpuMs = 0;
};

// Runs the command to its end; its CPU time is the child's own.
Run RunChild(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& argument : command)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
    return {};
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid)
    return {};
  const auto ms = [](const timeval& time) { return time.tv_sec * 1e3 + time.tv_usec / 1e3; };
  return {WIFEXITED(status) && WEXITSTATUS(status) == 0, ms(usage.ru_utime) + ms(usage.ru_stime)};
}

double Median(std::vector<double> values) {
  std::ranges::sort(values);
  return values.empty() ? 0 : values[values.size() / 2];
}

void GetInfoAgainstCurl(benchmark::State& state) {
  static Simulator simulator;
  tellavo::test::ScopedProxyEnvironment proxy(simulator);
  const int calls = static_cast<int>(state.range(0));
  const std::vector<std::string> module = ModuleCommand(calls);
  const std::vector<std::string> curl = CurlCommand(calls);
  std::vector<double> moduleMs, curlMs;
  tellavo::test::ConnectionCounts counts;
  bool moduleFirst = true;
  for (auto _ : state) {
    // Interleaved, each side first in every other iteration.
    for (int side = 0; side < 2; ++side) {
      simulator.Reset();
      const bool isModule = (side == 0) == moduleFirst;
      const Run run = RunChild(isModule ? module : curl);
      if (!run.ok) {
        state.SkipWithError(isModule ? "getinfo failed" : "curl failed");
        return;
      }
      (isModule ? moduleMs : curlMs).push_back(run.cpuMs);
      if (isModule)
        counts = simulator.Connections();
    }
    moduleFirst = !moduleFirst;
  }
  state.counters["module_cpu_ms"] = Median(moduleMs);
  state.counters["curl_cpu_ms"] = Median(curlMs);
  state.counters["cpu_ratio"] = Median(moduleMs) / Median(curlMs);
  state.counters["connections"] = static_cast<double>(counts.connections);
  state.counters["handshakes"] = static_cast<double>(counts.handshakes);
}

void GetInfoTraced(benchmark::State& state) {
  static Simulator simulator;
  tellavo::test::ScopedProxyEnvironment proxy(simulator);
  const std::vector<std::string> module = ModuleCommand(static_cast<int>(state.range(0)));
  const std::filesystem::path trace =
      std::filesystem::temp_directory_path() / "tellavo-getinfo-bench-trace.log";
  std::vector<double> offMs, onMs;
  bool offFirst = true;
  for (auto _ : state) {
    for (int side = 0; side < 2; ++side) {
      simulator.Reset();
      std::filesystem::remove(trace);
      const bool traced = (side == 0) != offFirst;
      if (traced)
        setenv("TELLAVO_TRACE_FILE", trace.c_str(), 1);
      const Run run = RunChild(module);
      unsetenv("TELLAVO_TRACE_FILE");
      if (!run.ok || traced != std::filesystem::exists(trace)) {
        state.SkipWithError(traced ? "traced getinfo failed" : "getinfo failed");
        return;
      }
      (traced ? onMs : offMs).push_back(run.cpuMs);
    }
    offFirst = !offFirst;
  }
  std::filesystem::remove(trace);
  state.counters["untraced_cpu_ms"] = Median(offMs);
  state.counters["traced_cpu_ms"] = Median(onMs);
  state.counters["trace_ratio"] = Median(onMs) / Median(offMs);
}

BENCHMARK(GetInfoTraced)
    ->ArgName("calls")
    ->Arg(400)
    ->Iterations(9)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(GetInfoAgainstCurl)
    ->ArgName("calls")
    ->Arg(50)
    ->Arg(1)
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
