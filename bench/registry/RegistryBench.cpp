// Cost of registering and unregistering the module against a hive that
// already holds many other keys, as a long-used machine's would. Reports the
// time per pass and the peak resident memory the passes reached above the
// process's size before them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "measure/ProcessMemory.h"
#include "server/Module.h"

using namespace tellavo;
using namespace tellavo::bench;

namespace {

// A hive of about `bytes` bytes of other classes' keys, in the hive's text
// layout.
void WriteHive(const std::string& path, size_t bytes) {
  std::ofstream out(path, std::ios::trunc);
  out << "; Tellavo registry hive\n";
  size_t written = 0;
  for (unsigned n = 0; written < bytes; ++n) {
    char entry[256];
    const int size =
        std::snprintf(entry, sizeof entry,
                      "\n[HKEY_CLASSES_ROOT\\CLSID\\{%08X-0000-4000-8000-000000000000}]\n"
                      "@=\"Filler class %u\"\n\"ThreadingModel\"=\"Both\"\n",
                      n, n);
    out.write(entry, size);
    written += static_cast<size_t>(size);
  }
}

void RegisterAgainstLargeHive(benchmark::State& state) {
  const std::string path = "/tmp/tellavo-registry-bench-" + std::to_string(getpid()) + ".hive";
  WriteHive(path, static_cast<size_t>(state.range(0)) << 20);
  setenv("TELLAVO_REGISTRY", path.c_str(), 1);
  ResetPeak();
  const long before = ResidentKiB();
  bool ok = true;
  for (auto _ : state) {
    ok = ok && server::ModuleUpdateRegistry(true) == S_OK;
    ok = ok && server::ModuleUpdateRegistry(false) == S_OK;
  }
  state.counters["peak_MiB_above_start"] = static_cast<double>(PeakResidentKiB() - before) / 1024;
  if (!ok)
    state.SkipWithError("registration failed");
  unsetenv("TELLAVO_REGISTRY");
  std::remove(path.c_str());
  std::remove((path + ".lock").c_str());
}

} // namespace

// One iteration is a registration and an unregistration.
BENCHMARK(RegisterAgainstLargeHive)
    ->Arg(5)
    ->Arg(50)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->ArgName("hive_MiB");

BENCHMARK_MAIN();
