// The registry over the hive file, and type library registration in it.
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "Platform.h"
#include "common/ComPtr.h"
#include "common/RegistryKey.h"
#include "gateway/Tellavo_TLB.h"

using tellavo::ComPtr;

namespace {

namespace fs = std::filesystem;

class RegistryTest : public ::testing::Test {
protected:
  void SetUp() override {
    char dir[] = "/tmp/oleplatform-registry-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    dir_ = dir;
    hive_ = dir_ / "sub" / "registry.hive";
    setenv("TELLAVO_REGISTRY", hive_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("TELLAVO_REGISTRY");
    fs::remove_all(dir_);
  }

  static LSTATUS Write(const std::u16string& key, const std::u16string& name,
                       const std::u16string& data) {
    tellavo::RegistryKey handle;
    LSTATUS status =
        RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, handle.Out(), nullptr);
    if (status != ERROR_SUCCESS)
      return status;
    return RegSetValueExW(handle.Get(), name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * 2));
  }

  static std::u16string Read(const std::u16string& key, const std::u16string& name = u"") {
    tellavo::RegistryKey handle;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, handle.Out()) != ERROR_SUCCESS)
      return u"<no key>";
    OLECHAR buffer[512];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    if (RegQueryValueExW(handle.Get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
      return u"<no value>";
    EXPECT_EQ(REG_SZ, type);
    return std::u16string(buffer, size / 2 - 1);
  }

  static bool Exists(const std::u16string& key) {
    tellavo::RegistryKey handle;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, handle.Out()) ==
           ERROR_SUCCESS;
  }

  std::string HiveText() const {
    std::ifstream file(hive_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  fs::path dir_, hive_;
};

TEST_F(RegistryTest, ValuesAreWrittenAndReadBack) {
  tellavo::RegistryKey key;
  DWORD disposition = 0;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{X}\\InprocServer32", 0, nullptr, 0,
                            KEY_READ | KEY_WRITE, nullptr, key.Out(), &disposition));
  EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
  const std::u16string path = u"/opt/tellavo/libtellavo.so";
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetValueExW(key.Get(), u"", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>((path.size() + 1) * 2)));
  ASSERT_EQ(ERROR_SUCCESS, Write(u"CLSID\\{X}\\InprocServer32", u"ThreadingModel", u"Apartment"));
  // Texts that the file format must escape survive.
  const std::u16string awkward = u"a \"quoted\" \\ path\nwith Arayüzü";
  ASSERT_EQ(ERROR_SUCCESS, Write(u"CLSID\\{X}", u"", awkward));

  EXPECT_EQ(path, Read(u"clsid\\{x}\\inprocserver32"));
  EXPECT_EQ(u"Apartment", Read(u"CLSID\\{X}\\InprocServer32", u"threadingmodel"));
  EXPECT_EQ(awkward, Read(u"CLSID\\{X}"));
  EXPECT_EQ(u"<no value>", Read(u"CLSID\\{X}", u"Other"));
  EXPECT_EQ(u"<no key>", Read(u"CLSID\\{Y}"));

  tellavo::RegistryKey again;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{X}", 0, nullptr, 0,
                                           KEY_READ, nullptr, again.Out(), &disposition));
  EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
  EXPECT_NE(std::string::npos, HiveText().find("[HKEY_CLASSES_ROOT\\CLSID\\{X}\\InprocServer32]\n"
                                               "@=\"/opt/tellavo/libtellavo.so\"\n"
                                               "\"ThreadingModel\"=\"Apartment\"\n"));
}

TEST_F(RegistryTest, QueryReportsTheSizeNeeded) {
  ASSERT_EQ(ERROR_SUCCESS, Write(u"K", u"", u"abc"));
  tellavo::RegistryKey key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, u"K", 0, KEY_READ, key.Out()));
  DWORD size = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.Get(), u"", nullptr, nullptr, nullptr, &size));
  EXPECT_EQ(8u, size);
  BYTE small[4];
  size = sizeof small;
  EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(key.Get(), u"", nullptr, nullptr, small, &size));
  EXPECT_EQ(8u, size);
}

TEST_F(RegistryTest, OnlyKeysWithoutSubkeysAreDeleted) {
  ASSERT_EQ(ERROR_SUCCESS, Write(u"Tellavo.Gateway\\Clsid", u"", u"{X}"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Tellavo.Gateway"));
  EXPECT_TRUE(Exists(u"Tellavo.Gateway\\Clsid"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CLASSES_ROOT, u"TELLAVO.GATEWAY\\CLSID"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Tellavo.Gateway"));
  EXPECT_FALSE(Exists(u"Tellavo.Gateway"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Tellavo.Gateway"));

  ASSERT_EQ(ERROR_SUCCESS, Write(u"A\\B\\C", u"", u"x"));
  ASSERT_EQ(ERROR_SUCCESS, Write(u"AB", u"", u"sibling"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CLASSES_ROOT, u"A"));
  EXPECT_FALSE(Exists(u"A\\B"));
  EXPECT_EQ(u"sibling", Read(u"AB"));
}

TEST_F(RegistryTest, HandlesCarryTheirAccessAndLifetime) {
  ASSERT_EQ(ERROR_SUCCESS, Write(u"K", u"", u"v"));
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, u"K", 0, KEY_READ, &key));
  const BYTE data[2] = {0, 0};
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExW(key, u"", 0, REG_SZ, data, 2));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegSetValueExW(key, u"", 0, REG_SZ, data, 2));

  tellavo::RegistryKey deleted;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExW(HKEY_CLASSES_ROOT, u"K", 0, KEY_ALL_ACCESS, deleted.Out()));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CLASSES_ROOT, u"K"));
  EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExW(deleted.Get(), u"", 0, REG_SZ, data, 2));
  tellavo::RegistryKey invalid;
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExW(HKEY_CLASSES_ROOT, u"a\\\\b", 0, nullptr, 0,
                                                     KEY_WRITE, nullptr, invalid.Out(), nullptr));
}

TEST_F(RegistryTest, UnwritableLocationIsAccessDenied) {
  std::ofstream(dir_ / "file") << "not a directory";
  setenv("TELLAVO_REGISTRY", (dir_ / "file" / "registry.hive").c_str(), 1);
  EXPECT_EQ(ERROR_ACCESS_DENIED, Write(u"K", u"", u"v"));
  EXPECT_FALSE(Exists(u"K"));
}

// In a folder that others may write, a link planted at the temporary or the
// lock file's name is never written through: the one at the temporary goes
// and the hive is written whole and private until it takes its place; the
// one at the lock file stops the writer and leaves the hive as it was.
TEST_F(RegistryTest, LinksPlantedBesideTheHiveAreNeverFollowed) {
  ASSERT_EQ(ERROR_SUCCESS, Write(u"K", u"", u"v"));
  const fs::path victim = dir_ / "victim";
  std::ofstream(victim) << "mine";
  fs::create_symlink(victim, hive_.string() + ".tmp");
  ASSERT_EQ(ERROR_SUCCESS, Write(u"K", u"", u"w"));
  EXPECT_EQ(u"w", Read(u"K"));
  EXPECT_EQ((fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
             fs::perms::others_read),
            fs::status(hive_).permissions());

  const std::string before = HiveText();
  fs::remove(hive_.string() + ".lock");
  fs::create_symlink(victim, hive_.string() + ".lock");
  EXPECT_EQ(ERROR_ACCESS_DENIED, Write(u"K", u"", u"x"));
  EXPECT_EQ(before, HiveText());
  std::ifstream mine(victim);
  EXPECT_EQ("mine", std::string(std::istreambuf_iterator<char>(mine), {}));
}

TEST_F(RegistryTest, DamagedHiveIsNeitherReadNorOverwritten) {
  fs::create_directories(hive_.parent_path());
  const std::string damaged = "[HKEY_CLASSES_ROOT\\K]\nthis is not a value\n";
  std::ofstream(hive_) << damaged;
  EXPECT_EQ(ERROR_BADDB, Write(u"K2", u"", u"v"));
  tellavo::RegistryKey key;
  EXPECT_EQ(ERROR_BADDB, RegOpenKeyExW(HKEY_CLASSES_ROOT, u"K", 0, KEY_READ, key.Out()));
  EXPECT_EQ(damaged, HiveText());
}

TEST_F(RegistryTest, LocationFollowsTheDataHome) {
  unsetenv("TELLAVO_REGISTRY");
  const char* oldData = std::getenv("XDG_DATA_HOME");
  const std::string saved = oldData == nullptr ? "" : oldData;
  setenv("XDG_DATA_HOME", dir_.c_str(), 1);
  EXPECT_EQ(ERROR_SUCCESS, Write(u"K", u"", u"v"));
  EXPECT_TRUE(fs::exists(dir_ / "tellavo" / "registry.hive"));
  if (oldData == nullptr)
    unsetenv("XDG_DATA_HOME");
  else
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
  constexpr int writers = 4;
  constexpr int keysEach = 20;
  std::vector<pid_t> children;
  for (int w = 0; w < writers; ++w) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      bool ok = true;
      for (int k = 0; k < keysEach; ++k) {
        const std::string name = "W" + std::to_string(w) + "\\K" + std::to_string(k);
        ok = ok && Write(std::u16string(name.begin(), name.end()), u"", u"value") == ERROR_SUCCESS;
      }
      _exit(ok ? 0 : 1);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int w = 0; w < writers; ++w) {
    for (int k = 0; k < keysEach; ++k) {
      const std::string name = "W" + std::to_string(w) + "\\K" + std::to_string(k);
      EXPECT_EQ(u"value", Read(std::u16string(name.begin(), name.end()))) << name;
    }
  }
}

ino_t FileIdentity(const fs::path& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

TEST_F(RegistryTest, TransactionIsOneRewriteKeptOnlyWhenCommitted) {
  ASSERT_EQ(ERROR_SUCCESS, Write(u"Old", u"", u"v"));
  const std::string before = HiveText();
  const ino_t identity = FileIdentity(hive_);
  {
    RegistryTransaction transaction;
    ASSERT_EQ(ERROR_SUCCESS, Write(u"New\\Sub", u"", u"1"));
    ASSERT_EQ(ERROR_SUCCESS, Write(u"New\\Sub", u"Named", u"2"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Old"));
    EXPECT_EQ(u"2", Read(u"New\\Sub", u"Named")); // its own changes, at once
    EXPECT_FALSE(Exists(u"Old"));
    EXPECT_EQ(before, HiveText()); // the file is left alone until the commit
    EXPECT_EQ(identity, FileIdentity(hive_));
    // A nested transaction is part of the outer one.
    RegistryTransaction inner;
    ASSERT_EQ(ERROR_SUCCESS, Write(u"New", u"", u"3"));
    EXPECT_EQ(ERROR_SUCCESS, inner.Commit());
    EXPECT_EQ(before, HiveText());
    EXPECT_EQ(ERROR_SUCCESS, transaction.Commit());
  }
  EXPECT_NE(identity, FileIdentity(hive_));
  EXPECT_EQ(u"2", Read(u"New\\Sub", u"Named"));
  EXPECT_EQ(u"3", Read(u"New"));
  EXPECT_FALSE(Exists(u"Old"));

  const std::string committed = HiveText();
  {
    RegistryTransaction dropped;
    ASSERT_EQ(ERROR_SUCCESS, Write(u"Dropped", u"", u"v"));
  }
  EXPECT_FALSE(Exists(u"Dropped"));
  EXPECT_EQ(committed, HiveText());
}

TEST_F(RegistryTest, TransactionOnADamagedHiveFailsAndWritesNothing) {
  fs::create_directories(hive_.parent_path());
  const std::string damaged = "[HKEY_CLASSES_ROOT\\K]\nthis is not a value\n";
  std::ofstream(hive_) << damaged;
  RegistryTransaction transaction;
  EXPECT_EQ(ERROR_BADDB, Write(u"K2", u"", u"v"));
  EXPECT_EQ(ERROR_SUCCESS, transaction.Commit());
  EXPECT_EQ(damaged, HiveText());
}

// A child that writes in a transaction and is killed before it commits: the
// hive stays as it was and its lock is free again.
TEST_F(RegistryTest, ProcessKilledInATransactionLeavesTheOldHive) {
  ASSERT_EQ(ERROR_SUCCESS, Write(u"Old", u"", u"v"));
  const std::string before = HiveText();
  int ready[2];
  ASSERT_EQ(0, pipe(ready));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    RegistryTransaction transaction;
    const bool ok = Write(u"Partial", u"", u"v") == ERROR_SUCCESS &&
                    RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Old") == ERROR_SUCCESS;
    (void)!write(ready[1], ok ? "y" : "n", 1);
    pause();
    _exit(0);
  }
  char answer = 0;
  ASSERT_EQ(1, read(ready[0], &answer, 1));
  EXPECT_EQ('y', answer);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  EXPECT_EQ(before, HiveText());
  EXPECT_EQ(ERROR_SUCCESS, Write(u"After", u"", u"v"));
  EXPECT_FALSE(Exists(u"Partial"));
  EXPECT_TRUE(Exists(u"Old"));
}

// A child that commits large transactions over and over, killed at varying
// moments, some of them while it writes the hive: the hive is always whole,
// either the last committed one or the one before.
TEST_F(RegistryTest, ProcessKilledWhileCommittingLeavesAWholeHive) {
  constexpr int keys = 2000;
  for (int round = 0; round < 8; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int generation = 0;; ++generation) {
        RegistryTransaction transaction;
        const std::string text = "generation " + std::to_string(generation);
        const std::u16string value(text.begin(), text.end());
        for (int k = 0; k < keys; ++k) {
          const std::string name = "K\\" + std::to_string(k);
          if (Write(std::u16string(name.begin(), name.end()), u"", value) != ERROR_SUCCESS)
            _exit(1);
        }
        if (transaction.Commit() != ERROR_SUCCESS)
          _exit(1);
      }
    }
    usleep(static_cast<useconds_t>(20000 + round * 7000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child failed a transaction";
    // Every key carries the same generation, or there are none yet.
    const std::u16string first = Read(u"K\\0");
    for (int k = 0; k < keys; k += 97) {
      const std::string name = "K\\" + std::to_string(k);
      ASSERT_EQ(first, Read(std::u16string(name.begin(), name.end()))) << name;
    }
  }
}

class TypeLibRegistrationTest : public RegistryTest {
protected:
  void SetUp() override {
    RegistryTest::SetUp();
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&Exists), &module);
    OLECHAR path[4096];
    const DWORD n = GetModuleFileNameW(module, path, 4096);
    path_.assign(path, n);
    ASSERT_EQ(S_OK, LoadTypeLibEx(path_.c_str(), REGKIND_NONE, lib_.Out()));
  }

  static constexpr std::u16string_view version =
      u"TypeLib\\{F9D49477-8E41-44EF-A935-C2B3A926075D}\\2.0";
  static constexpr std::u16string_view gateway =
      u"Interface\\{A5BEFD19-DBEE-4DC7-935A-A4EE27B2C5DD}";

  static HRESULT Unregister() {
    return UnRegisterTypeLib(tellavo::LIBID_Tellavo, 2, 0, 0x409, SYS_WIN32);
  }

  std::u16string path_;
  ComPtr<ITypeLib> lib_;
};

TEST_F(TypeLibRegistrationTest, RegistrationWritesTheLibraryAndItsInterface) {
  ASSERT_EQ(S_OK, RegisterTypeLib(lib_.Get(), path_.c_str(), u"/opt/help/"));
  const std::u16string v(version), g(gateway);
  EXPECT_EQ(u"Tellavo COM API 2.0", Read(v));
  EXPECT_EQ(u"0", Read(v + u"\\FLAGS"));
  EXPECT_EQ(u"/opt/help/", Read(v + u"\\HELPDIR"));
  EXPECT_EQ(path_, Read(v + u"\\409\\win32"));
  EXPECT_EQ(u"IGateway", Read(g));
  EXPECT_EQ(u"{00020424-0000-0000-C000-000000000046}", Read(g + u"\\ProxyStubClsid32"));
  EXPECT_EQ(u"{F9D49477-8E41-44EF-A935-C2B3A926075D}", Read(g + u"\\TypeLib"));
  EXPECT_EQ(u"2.0", Read(g + u"\\TypeLib", u"Version"));
  EXPECT_FALSE(Exists(u"Interface\\{30382C13-28EC-4B56-A42C-7172636B226B}"));

  ASSERT_EQ(S_OK, Unregister());
  EXPECT_FALSE(Exists(u"TypeLib\\{F9D49477-8E41-44EF-A935-C2B3A926075D}"));
  EXPECT_FALSE(Exists(g));
  EXPECT_EQ(TYPE_E_REGISTRYACCESS, Unregister());
}

TEST_F(TypeLibRegistrationTest, UnregistrationKeepsWhatOthersRegistered) {
  ASSERT_EQ(S_OK, RegisterTypeLib(lib_.Get(), path_.c_str(), nullptr));
  const std::u16string v(version), g(gateway);
  EXPECT_EQ(fs::path(path_).parent_path().u16string() + u"/", Read(v + u"\\HELPDIR"));
  ASSERT_EQ(ERROR_SUCCESS, Write(v + u"\\0\\win32", u"", u"/other/locale.so"));
  ASSERT_EQ(ERROR_SUCCESS, Write(g + u"\\TypeLib", u"", u"{00000000-0000-0000-0000-000000000001}"));
  ASSERT_EQ(S_OK, Unregister());
  EXPECT_FALSE(Exists(v + u"\\409"));
  EXPECT_EQ(u"/other/locale.so", Read(v + u"\\0\\win32"));
  EXPECT_TRUE(Exists(v + u"\\FLAGS"));
  EXPECT_TRUE(Exists(g));
}

TEST_F(TypeLibRegistrationTest, LoadingWithRegisterKindRegisters) {
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(S_OK, LoadTypeLibEx(path_.c_str(), REGKIND_REGISTER, lib.Out()));
  EXPECT_EQ(path_, Read(std::u16string(version) + u"\\409\\win32"));
}

} // namespace
