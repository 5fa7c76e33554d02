// The client and its libraries look for the libraries they need only where
// they were put: a file planted under a library's name in the folder the
// client is started from is never loaded.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TellavoProcess.h"

namespace tellavo::test {
namespace {

// Makes `folder` the current one for the scope.
class ScopedCurrentFolder {
public:
  explicit ScopedCurrentFolder(const std::filesystem::path& folder)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~ScopedCurrentFolder() { std::filesystem::current_path(previous_); }
  ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
  ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

private:
  std::filesystem::path previous_;
};

TEST(LibrarySearch, NothingIsLoadedFromTheFolderTheClientStartsIn) {
  TempFolder folder;
  for (const char* name : {"libtellavoplatform.so", "libstdc++.so.6", "libgcc_s.so.1",
                           "libcurl.so.4", "libxml2.so.2", "libffi.so.8", "libm.so.6"})
    std::ofstream(folder.Path(name)) << "not a library\n";
  TellavoRun run;
  {
    const ScopedCurrentFolder current(folder.Path(""));
    run = RunTellavo({"--help"});
  }
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("tellavo")) << run.out;
}

} // namespace
} // namespace tellavo::test
