// register and unregister on Windows: the class in the system registry, and
// the object then created through COM by its ProgID. Every test program of
// the prefix shares that registration, so this program runs alone and leaves
// the module registered, as it found it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "Platform.h"
#include "TellavoProcess.h"
#include "common/RegistryKey.h"
#include "common/UniqueHandle.h"
#include "common/Utf.h"
#include "common/WideText.h"

namespace tellavo::test {
namespace {

constexpr wchar_t kProgId[] = L"Tellavo.Gateway";
constexpr wchar_t kProgIdClass[] = L"Tellavo.Gateway\\Clsid";
constexpr wchar_t kClassKey[] = L"CLSID\\{30382C13-28EC-4B56-A42C-7172636B226B}";
constexpr wchar_t kServerKey[] = L"CLSID\\{30382C13-28EC-4B56-A42C-7172636B226B}\\InprocServer32";
constexpr wchar_t kLibraryKey[] = L"TypeLib\\{F9D49477-8E41-44EF-A935-C2B3A926075D}";

// The default value of a key of HKEY_CLASSES_ROOT, as UTF-8.
std::optional<std::string> ClassesValue(const wchar_t* key) {
  wchar_t value[1024];
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key, nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  return Utf16ToUtf8(FromWide(value));
}

bool ClassesKeyExists(const wchar_t* key) {
  RegistryKey opened;
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_QUERY_VALUE, opened.Out()) == ERROR_SUCCESS;
}

// A key of HKEY_CLASSES_ROOT that refuses some rights to everyone, as keys
// refuse a user without administrator rights: its access list becomes a
// deny entry for those rights before an entry that allows the rest, and the
// old list comes back with the object (unless the key was deleted).
class RefusingKey {
public:
  RefusingKey(const wchar_t* key, DWORD refused) {
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, READ_CONTROL | WRITE_DAC, key_.Out()),
              ERROR_SUCCESS);
    DWORD size = 0;
    RegGetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    saved_.resize(size);
    EXPECT_EQ(RegGetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, saved_.data(), &size),
              ERROR_SUCCESS);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    UniqueHandle<PSID, FreeSid> everyone;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, everyone.Out());
    alignas(ACL) BYTE list[256];
    auto* acl = reinterpret_cast<PACL>(list);
    InitializeAcl(acl, sizeof list, ACL_REVISION);
    AddAccessDeniedAce(acl, ACL_REVISION, refused, everyone.Get());
    AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone.Get());
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    EXPECT_EQ(RegSetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, &descriptor), ERROR_SUCCESS);
  }
  ~RefusingKey() { RegSetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, saved_.data()); }
  RefusingKey(const RefusingKey&) = delete;
  RefusingKey& operator=(const RefusingKey&) = delete;

private:
  RegistryKey key_;
  std::vector<BYTE> saved_;
};

// The registry refusing a change: the module answers the system's code, the
// client shows it with what to do, and no half registration claims success.
TEST(RegisterTest, ARefusedChangeFailsWithTheSystemsReason) {
  // The server key refuses its deletion. Wine grants DELETE in spite of a
  // deny entry (Windows does not), so the key also holds a subkey, whose
  // presence refuses the deletion there, and refuses listing its subkeys,
  // so that the module cannot take it for a key that holds others' entries.
  const std::wstring subkey = std::wstring(kServerKey) + L"\\Tellavo.Test";
  // Created and closed at once.
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            RegistryKey().Out(), nullptr),
            ERROR_SUCCESS);
  TellavoRun unregistered;
  bool serverKeptAfterUnregister = false;
  {
    const RefusingKey locked(kServerKey, DELETE | KEY_ENUMERATE_SUB_KEYS);
    unregistered = RunTellavo({"unregister"});
    serverKeptAfterUnregister = ClassesKeyExists(kServerKey);
  }
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, subkey.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(unregistered.status, 1);
  EXPECT_NE(unregistered.err.find("DllUnregisterServer failed: 0x80070005 "), std::string::npos)
      << unregistered.err;
  EXPECT_NE(unregistered.err.find("elevated prompt"), std::string::npos) << unregistered.err;
  EXPECT_NE(unregistered.err.find("run unregister again"), std::string::npos) << unregistered.err;
  EXPECT_EQ(unregistered.out, "");
  EXPECT_TRUE(serverKeptAfterUnregister);

  // A registration refused halfway (at the ProgID, after the type library
  // and the class key) is taken away again.
  ASSERT_EQ(RunTellavo({"register"}).status, 0);
  TellavoRun registered;
  {
    const RefusingKey locked(kProgId, KEY_SET_VALUE | KEY_CREATE_SUB_KEY);
    registered = RunTellavo({"register"});
  }
  EXPECT_EQ(registered.status, 1);
  EXPECT_NE(registered.err.find("DllRegisterServer failed: 0x80070005 "), std::string::npos)
      << registered.err;
  EXPECT_NE(registered.err.find("removed again"), std::string::npos) << registered.err;
  EXPECT_FALSE(ClassesKeyExists(kClassKey));
  EXPECT_FALSE(ClassesKeyExists(kLibraryKey));

  const TellavoRun restored = RunTellavo({"register"});
  ASSERT_EQ(restored.status, 0) << restored.err;
  EXPECT_EQ(ClassesValue(kProgIdClass), "{30382C13-28EC-4B56-A42C-7172636B226B}");
}

TEST(RegisterTest, UnregisterRemovesTheClassThatRegisterWritesBack) {
  const TellavoRun unregistered = RunTellavo({"unregister"});
  const std::optional<std::string> classAfterUnregister = ClassesValue(kProgIdClass);
  const TellavoRun unknownClass = RunTellavo({"call", "clearsmsbasket"});
  const TellavoRun registered = RunTellavo({"register"});

  EXPECT_EQ(unregistered.status, 0) << unregistered.err;
  EXPECT_EQ(unregistered.out.rfind("unregistered ", 0), 0u) << unregistered.out;
  EXPECT_EQ(classAfterUnregister, std::nullopt);
  // Without the registration COM cannot find the class, and the client says
  // how to mend that.
  EXPECT_EQ(unknownClass.status, 1);
  EXPECT_NE(unknownClass.err.find("Tellavo.Gateway is not registered"), std::string::npos)
      << unknownClass.err;

  ASSERT_EQ(registered.status, 0) << registered.err;
  EXPECT_EQ(ClassesValue(kProgIdClass), "{30382C13-28EC-4B56-A42C-7172636B226B}");
  // By default the module beside tellavo.exe, which enters its own full path.
  const std::string prefix = "registered ";
  ASSERT_EQ(registered.out.rfind(prefix, 0), 0u) << registered.out;
  const std::string path =
      registered.out.substr(prefix.size(), registered.out.size() - prefix.size() - 1);
  EXPECT_TRUE(path.ends_with("\\Tellavo.dll")) << path;
  EXPECT_EQ(ClassesValue(kServerKey), path);
  EXPECT_EQ(RunTellavo({"call", "clearsmsbasket"}).status, 0);
}

} // namespace
} // namespace tellavo::test
