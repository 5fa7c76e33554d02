// The entry point of every Windows test program. The module leaves COM to its
// host, so the test program, as host, enters a single-threaded apartment on
// its main thread before any test runs, as an automation client would. It
// stays there until the process ends: objects kept for the whole program are
// released only after main returns.
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::fprintf(stderr, "CoInitializeEx failed\n");
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  // What the tests reported goes out before the program ends, so that an
  // end that crashes (static objects, or Wine as it ends a process) never
  // takes the report with it.
  std::fflush(stdout);
  return result;
}
