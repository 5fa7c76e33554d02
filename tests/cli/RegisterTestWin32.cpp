// register and unregister on Windows: the class in the system registry, and
// the object then created through COM by its ProgID. Every test program of
// the prefix shares that registration, so this program runs alone and leaves
// the module registered, as it found it.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "Platform.h"
#include "TellavoProcess.h"
#include "common/Utf.h"

namespace tellavo::test {
namespace {

constexpr wchar_t kProgIdClass[] = L"Tellavo.Gateway\\Clsid";
constexpr wchar_t kServerKey[] = L"CLSID\\{30382C13-28EC-4B56-A42C-7172636B226B}\\InprocServer32";

// The default value of a key of HKEY_CLASSES_ROOT, as UTF-8.
std::optional<std::string> ClassesValue(const wchar_t* key) {
  wchar_t value[1024];
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key, nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  return Utf16ToUtf8(reinterpret_cast<const char16_t*>(value));
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
