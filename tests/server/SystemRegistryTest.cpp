#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "HiveFixture.h"
#include "ServerFixture.h"
#include "common/LoadedLibrary.h"
#include "server/Registration.h"
#include "server/SystemRegistry.h"

namespace tellavo::server::testing {
namespace {

constexpr char16_t kClassKey[] = u"CLSID\\{30382C13-28EC-4B56-A42C-7172636B226B}";

LoadedLibrary OleAutLibrary() {
  return LoadedLibrary(LoadLibraryW(Wide(u"OLEAUT32.DLL")));
}

TEST(SystemRegistry, WritesTextValuesAndDeletesEmptyKeys) {
  ScopedHive hive(TestHivePath("layer"));
  SystemRegistry registry(nullptr);
  registry.WriteEntry(u"Tellavo.Test\\Sub", u"", u"default text");
  registry.WriteEntry(u"Tellavo.Test\\Sub", u"Named", u"Arayüz");
  EXPECT_EQ(ScopedHive::Read(u"Tellavo.Test\\Sub"), u"default text");
  EXPECT_EQ(ScopedHive::Read(u"Tellavo.Test\\Sub", u"Named"), u"Arayüz");

  registry.DeleteKey(u"Tellavo.Test"); // still has a subkey: passed over
  EXPECT_TRUE(ScopedHive::Read(u"Tellavo.Test\\Sub").has_value());
  registry.DeleteKey(u"Tellavo.Test\\Sub");
  registry.DeleteKey(u"Tellavo.Test\\Sub"); // already gone: passed over
  EXPECT_FALSE(ScopedHive::Read(u"Tellavo.Test\\Sub").has_value());
}

TEST(SystemRegistry, UnwritableRegistryFailsWithTheRegistrationError) {
  const UnwritableHive hive;
  SystemRegistry registry(nullptr);
  try {
    registry.WriteEntry(u"Tellavo.Test", u"", u"x");
    FAIL() << "no exception";
  } catch (const EOleRegistrationError& error) {
    EXPECT_EQ(error.Message(), u"Error creating system registry entry");
    EXPECT_EQ(error.ErrorCode(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  }
}

using SystemRegistration = ServerTest;

TEST_F(SystemRegistration, RegistersAndUnregistersThroughThePlatform) {
  ScopedHive hive(TestHivePath("pass"));
  const LoadedLibrary oleAut = OleAutLibrary();
  SystemRegistry registry(oleAut.Get());
  ASSERT_EQ(RunRegistration(*server_, registry, true), S_OK);
  const std::u16string k = kClassKey;
  EXPECT_EQ(ScopedHive::Read(k), u"SMS Gateway Objesi");
  EXPECT_EQ(ScopedHive::Read(k + u"\\InprocServer32"), modulePath_);
  EXPECT_EQ(ScopedHive::Read(k + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
  EXPECT_EQ(ScopedHive::Read(u"Tellavo.Gateway\\Clsid"), u"{30382C13-28EC-4B56-A42C-7172636B226B}");
  EXPECT_EQ(ScopedHive::Read(k + u"\\TypeLib"), u"{F9D49477-8E41-44EF-A935-C2B3A926075D}");
  const std::u16string library = u"TypeLib\\{F9D49477-8E41-44EF-A935-C2B3A926075D}\\2.0";
  EXPECT_EQ(ScopedHive::Read(library + u"\\409\\win32"), modulePath_);
  EXPECT_EQ(ScopedHive::Read(library + u"\\0\\win32"), modulePath_);

  ASSERT_EQ(RunRegistration(*server_, registry, false), S_OK);
  EXPECT_FALSE(ScopedHive::Read(k).has_value());
  EXPECT_FALSE(ScopedHive::Read(u"Tellavo.Gateway").has_value());
  EXPECT_FALSE(ScopedHive::Read(library).has_value());
  EXPECT_EQ(RunRegistration(*server_, registry, false), S_OK);
}

TEST_F(SystemRegistration, EachPassIsOneRewriteOfTheHive) {
  const std::string path = TestHivePath("rewrites");
  ScopedHive hive(path);
  const LoadedLibrary oleAut = OleAutLibrary();
  RewriteCounter rewrites(path);
  {
    SystemRegistry registry(oleAut.Get());
    ASSERT_EQ(RunRegistration(*server_, registry, true), S_OK);
  }
  EXPECT_EQ(rewrites.Take(), 1);
  {
    SystemRegistry registry(oleAut.Get());
    ASSERT_EQ(RunRegistration(*server_, registry, false), S_OK);
  }
  EXPECT_EQ(rewrites.Take(), 1);
  EXPECT_FALSE(ScopedHive::Read(kClassKey).has_value());
}

TEST_F(SystemRegistration, ChangesNotCommittedAreDropped) {
  ScopedHive hive(TestHivePath("dropped"));
  {
    SystemRegistry registry(nullptr);
    registry.WriteEntry(u"Tellavo.Test", u"", u"x");
    EXPECT_EQ(ScopedHive::Read(u"Tellavo.Test"), u"x"); // the pass sees its own change
  }
  EXPECT_FALSE(ScopedHive::Read(u"Tellavo.Test").has_value());
}

// The keys of a registration, one line each in the hive's text: all of them
// or none must be there whenever another process looks.
int RegisteredKeys(const std::string& text) {
  static const char* const keys[] = {
      "[HKEY_CLASSES_ROOT\\CLSID\\{30382C13-28EC-4B56-A42C-7172636B226B}]",
      "[HKEY_CLASSES_ROOT\\CLSID\\{30382C13-28EC-4B56-A42C-7172636B226B}\\InprocServer32]",
      "[HKEY_CLASSES_ROOT\\CLSID\\{30382C13-28EC-4B56-A42C-7172636B226B}\\TypeLib]",
      "[HKEY_CLASSES_ROOT\\Tellavo.Gateway\\Clsid]",
      "[HKEY_CLASSES_ROOT\\TypeLib\\{F9D49477-8E41-44EF-A935-C2B3A926075D}\\2.0\\409\\win32]",
      "[HKEY_CLASSES_ROOT\\TypeLib\\{F9D49477-8E41-44EF-A935-C2B3A926075D}\\2.0\\0\\win32]",
      "[HKEY_CLASSES_ROOT\\Interface\\{A5BEFD19-DBEE-4DC7-935A-A4EE27B2C5DD}\\TypeLib]"};
  int found = 0;
  for (const char* key : keys)
    found += text.find(key) != std::string::npos ? 1 : 0;
  return found == 0 || found == static_cast<int>(std::size(keys)) ? found : -found;
}

TEST_F(SystemRegistration, ConcurrentPassesNeverFailNorLeaveHalfARegistration) {
  const std::string path = TestHivePath("concurrent");
  ScopedHive hive(path);
  constexpr int rounds = 40;
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      const LoadedLibrary oleAut = OleAutLibrary();
      bool ok = true;
      for (int round = 0; round < rounds; ++round) {
        SystemRegistry registry(oleAut.Get());
        ok = ok && RunRegistration(*server_, registry, c == 0) == S_OK;
      }
      _exit(ok ? 0 : 1);
    }
  }
  int looks = 0;
  for (int exited = 0; exited < 2;) {
    const int keys = RegisteredKeys(hive.Text());
    EXPECT_GE(keys, 0) << "half a registration: " << -keys << " keys";
    ++looks;
    int status = 0;
    for (const pid_t child : children) {
      if (waitpid(child, &status, WNOHANG) == child) {
        ++exited;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a pass failed";
      }
    }
  }
  EXPECT_GE(RegisteredKeys(hive.Text()), 0);
  EXPECT_GT(looks, 1);
}

TEST_F(SystemRegistration, UnwritableRegistryFailsThePass) {
  const UnwritableHive hive;
  const LoadedLibrary oleAut = OleAutLibrary();
  SystemRegistry registry(oleAut.Get());
  // The type library is registered first, and the system answers its own
  // code for a registry it cannot write.
  EXPECT_EQ(RunRegistration(*server_, registry, true), TYPE_E_REGISTRYACCESS);
}

// A hive that cannot be replaced, whoever runs the test: a folder holds the
// name of the file that the new hive is written to. Either pass then answers
// access denied and leaves the hive as it was, registered or not.
TEST_F(SystemRegistration, AHiveThatCannotBeReplacedKeepsItsRegistrationState) {
  const std::string path = TestHivePath("refused");
  ScopedHive hive(path);
  const LoadedLibrary oleAut = OleAutLibrary();
  const std::string blocker = path + ".tmp";
  const auto run = [&](bool registering) {
    SystemRegistry registry(oleAut.Get());
    return RunRegistration(*server_, registry, registering);
  };
  const HRESULT denied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);

  ASSERT_EQ(mkdir(blocker.c_str(), 0700), 0);
  EXPECT_EQ(run(true), denied);
  EXPECT_EQ(RegisteredKeys(hive.Text()), 0);
  ASSERT_EQ(rmdir(blocker.c_str()), 0);
  ASSERT_EQ(run(true), S_OK);
  const std::string registered = hive.Text();

  ASSERT_EQ(mkdir(blocker.c_str(), 0700), 0);
  EXPECT_EQ(run(false), denied);
  EXPECT_EQ(hive.Text(), registered);
  ASSERT_EQ(rmdir(blocker.c_str()), 0);
  EXPECT_EQ(run(false), S_OK);
  EXPECT_EQ(RegisteredKeys(hive.Text()), 0);
}

} // namespace
} // namespace tellavo::server::testing
