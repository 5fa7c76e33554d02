// The process's resident memory as Linux reports it, for benchmarks that
// measure the peak an operation reaches above the size before it.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

namespace tellavo::bench {

// A size field of /proc/self/status ("VmHWM:", "VmRSS:") in KiB.
inline long StatusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0)
      return std::strtol(line.c_str() + field.size(), nullptr, 10);
  }
  return 0;
}

inline long PeakResidentKiB() {
  return StatusKiB("VmHWM:");
}

inline long ResidentKiB() {
  return StatusKiB("VmRSS:");
}

// Starts the resident peak again from the current size.
inline void ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace tellavo::bench
