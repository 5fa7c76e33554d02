// The settings read at every gateway call: with no settings file, with a file
// of four settings just written (read again at every call while it is that
// young), and with the same file once it has settled (one stat and a copy of
// what was parsed).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/Settings.h"

namespace {

void BM_SettingsWithoutFile(benchmark::State& state) {
  setenv("TELLAVO_CONFIG", "", 1);
  for (auto _ : state)
    benchmark::DoNotOptimize(tellavo::CurrentSettings());
  unsetenv("TELLAVO_CONFIG");
}
BENCHMARK(BM_SettingsWithoutFile);

void BM_SettingsFromFile(benchmark::State& state, bool settled) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("tellavo-bench-" + std::to_string(getpid()) + ".conf");
  std::ofstream(path) << "# staging\nGatewayHost = sms.example.net\nReportHost = "
                         "report.example.net\nServiceNamespace = http://ws.example.net/\n"
                         "VerifyCertificates = 1\n";
  setenv("TELLAVO_CONFIG", path.c_str(), 1);
  if (settled) {
    tellavo::CurrentSettings();
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(tellavo::CurrentSettings());
  unsetenv("TELLAVO_CONFIG");
  std::filesystem::remove(path);
}
BENCHMARK_CAPTURE(BM_SettingsFromFile, young, false);
BENCHMARK_CAPTURE(BM_SettingsFromFile, settled, true);

} // namespace
