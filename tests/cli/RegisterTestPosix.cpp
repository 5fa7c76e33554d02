// register and unregister on posix, where the registry is a file of the
// client's own choosing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "TellavoProcess.h"

namespace tellavo::test {
namespace {

std::string FileText(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

TEST(RegisterTest, RegisterWritesTheHiveThatUnregisterCleans) {
  const TempFolder folder;
  const std::string hive = folder.Path("registry.hive");
  setenv("TELLAVO_REGISTRY", hive.c_str(), 1);
  const TellavoRun registered = RunTellavo({"register"});
  const std::string written = FileText(hive);
  const TellavoRun unregistered = RunTellavo({"unregister"});
  const std::string cleaned = FileText(hive);
  unsetenv("TELLAVO_REGISTRY");

  EXPECT_EQ(registered.status, 0) << registered.err;
  EXPECT_EQ(registered.out.rfind("registered /", 0), 0u) << registered.out;
  EXPECT_NE(written.find("Tellavo.Gateway"), std::string::npos) << written;
  EXPECT_EQ(unregistered.status, 0) << unregistered.err;
  EXPECT_EQ(cleaned.find("Tellavo.Gateway"), std::string::npos) << cleaned;
}

TEST(RegisterTest, AFailureIsExplainedInWords) {
  const TempFolder folder;
  // A file where the hive's folder should be: the hive cannot be written.
  std::ofstream(folder.Path("file")) << "not a folder";
  setenv("TELLAVO_REGISTRY", folder.Path("file/registry.hive").c_str(), 1);
  const TellavoRun failed = RunTellavo({"register"});
  unsetenv("TELLAVO_REGISTRY");

  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("DllRegisterServer failed: 0x80004005 Unspecified error\n"),
            std::string::npos)
      << failed.err;
  EXPECT_NE(failed.err.find("registry file could not be written"), std::string::npos) << failed.err;
}

} // namespace
} // namespace tellavo::test
