// The settings read at every gateway call: with no settings file, and with a
// file of four settings that has not changed since its last reading (one stat
// and a copy of what was parsed).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/Settings.h"

namespace {

void BM_SettingsWithoutFile(benchmark::State& state) {
  setenv("TELLAVO_CONFIG", "", 1);
  for (auto _ : state)
    benchmark::DoNotOptimize(tellavo::CurrentSettings());
  unsetenv("TELLAVO_CONFIG");
}
BENCHMARK(BM_SettingsWithoutFile);

void BM_SettingsFromFile(benchmark::State& state) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("tellavo-bench-" + std::to_string(getpid()) + ".conf");
  std::ofstream(path) << "# staging\nGatewayHost = sms.example.net\nReportHost = "
                         "report.example.net\nServiceNamespace = http://ws.example.net/\n"
                         "VerifyCertificates = 1\n";
  setenv("TELLAVO_CONFIG", path.c_str(), 1);
  for (auto _ : state)
    benchmark::DoNotOptimize(tellavo::CurrentSettings());
  unsetenv("TELLAVO_CONFIG");
  std::filesystem::remove(path);
}
BENCHMARK(BM_SettingsFromFile);

} // namespace
