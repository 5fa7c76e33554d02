// register and unregister on posix, where the registry is a file of the
// client's own choosing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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
  // The type library's registration comes first and answers its own code.
  EXPECT_NE(failed.err.find("DllRegisterServer failed: 0x8002801C"), std::string::npos)
      << failed.err;
  EXPECT_NE(failed.err.find("registry file could not be written"), std::string::npos) << failed.err;
}

// An unregistration that cannot replace the hive, or cannot lock it (a
// folder holds the name of the file it is written to or locked through,
// which refuses even root), fails with the system's code, and the
// registration stays whole until it can.
TEST(RegisterTest, AnUnregistrationTheHiveRefusesFailsAndKeepsTheRegistration) {
  const TempFolder folder;
  const std::string hive = folder.Path("registry.hive");
  setenv("TELLAVO_REGISTRY", hive.c_str(), 1);
  for (const std::string& blocker : {hive + ".tmp", hive + ".lock"}) {
    const TellavoRun registered = RunTellavo({"register"});
    const std::string written = FileText(hive);
    std::filesystem::remove(blocker);
    std::filesystem::create_directory(blocker);
    const TellavoRun refused = RunTellavo({"unregister"});
    const std::string kept = FileText(hive);
    std::filesystem::remove(blocker);
    const TellavoRun unregistered = RunTellavo({"unregister"});

    ASSERT_EQ(registered.status, 0) << registered.err;
    EXPECT_EQ(refused.status, 1) << blocker;
    EXPECT_NE(refused.err.find("DllUnregisterServer failed: 0x80070005 Access is denied\n"
                               "The registry file could not be written"),
              std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("left as it was"), std::string::npos) << refused.err;
    // The module's own text of the failure follows.
    EXPECT_NE(refused.err.find("\nThe module reports: Error "), std::string::npos) << refused.err;
    EXPECT_TRUE(refused.err.ends_with(" system registry entry\n")) << refused.err;
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(kept, written);
    EXPECT_EQ(unregistered.status, 0) << unregistered.err;
    EXPECT_EQ(FileText(hive).find("Tellavo.Gateway"), std::string::npos);
  }
  unsetenv("TELLAVO_REGISTRY");
}

// A posix path is bytes: a module in a folder whose name is not UTF-8 is
// loaded, called, read and registered by exactly those bytes.
TEST(RegisterTest, AModuleInAFolderNamedOutsideUtf8IsServedByItsOwnBytes) {
  const TempFolder folder;
  const std::filesystem::path module = TELLAVO_MODULE_PATH;
  const std::string moved = folder.Path("module\xff");
  std::filesystem::create_directory(moved);
  for (const auto& entry : std::filesystem::directory_iterator(module.parent_path()))
    std::filesystem::copy(entry.path(), moved);
  const std::string path = (std::filesystem::path(moved) / module.filename()).string();
  const std::string hive = folder.Path("registry.hive");
  setenv("TELLAVO_REGISTRY", hive.c_str(), 1);
  const TellavoRun called = RunTellavo({"call", "--module", path, "clearsmsbasket"});
  const TellavoRun version = RunTellavo({"--version", "--module", path});
  const TellavoRun registered = RunTellavo({"register", "--module", path});
  const std::string written = FileText(hive);
  const TellavoRun unregistered = RunTellavo({"unregister", "--module", path});
  unsetenv("TELLAVO_REGISTRY");

  EXPECT_EQ(called.status, 0) << called.err;
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_NE(version.out.find("type library 2.0"), std::string::npos) << version.out;
  EXPECT_EQ(registered.status, 0) << registered.err;
  // The server's and the type library's entries both hold the path's bytes.
  const std::string quoted = '"' + path + '"';
  const size_t first = written.find(quoted);
  ASSERT_NE(first, std::string::npos) << written;
  EXPECT_NE(written.find(quoted, first + 1), std::string::npos) << written;
  EXPECT_EQ(unregistered.status, 0) << unregistered.err;
  EXPECT_EQ(FileText(hive).find(quoted), std::string::npos);
}

} // namespace
} // namespace tellavo::test
