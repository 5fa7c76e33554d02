#include <gtest/gtest.h>

#include "HiveFixture.h"
#include "ServerFixture.h"
#include "server/Registration.h"
#include "server/SystemRegistry.h"

namespace tellavo::server::testing {
namespace {

constexpr char16_t kClassKey[] = u"CLSID\\{30382C13-28EC-4B56-A42C-7172636B226B}";

struct OleAutLibrary {
  OleAutLibrary() : handle(LoadLibraryW(Wide(u"OLEAUT32.DLL"))) {}
  ~OleAutLibrary() { FreeLibrary(handle); }
  HMODULE handle;
};

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
  }
}

using SystemRegistration = ServerTest;

TEST_F(SystemRegistration, RegistersAndUnregistersThroughThePlatform) {
  ScopedHive hive(TestHivePath("pass"));
  const OleAutLibrary oleAut;
  SystemRegistry registry(oleAut.handle);
  ASSERT_EQ(RunRegistration(*server_, registry, true), S_OK);
  const std::u16string k = kClassKey;
  EXPECT_EQ(ScopedHive::Read(k), u"SMS Gateway Objesi");
  EXPECT_EQ(ScopedHive::Read(k + u"\\InprocServer32"), modulePath_);
  EXPECT_EQ(ScopedHive::Read(k + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
  EXPECT_EQ(ScopedHive::Read(u"Tellavo.Gateway\\Clsid"), u"{30382C13-28EC-4B56-A42C-7172636B226B}");
  EXPECT_EQ(ScopedHive::Read(k + u"\\TypeLib"), u"{F9D49477-8E41-44EF-A935-C2B3A926075D}");

  ASSERT_EQ(RunRegistration(*server_, registry, false), S_OK);
  EXPECT_FALSE(ScopedHive::Read(k).has_value());
  EXPECT_FALSE(ScopedHive::Read(u"Tellavo.Gateway").has_value());
  EXPECT_EQ(RunRegistration(*server_, registry, false), S_OK);
}

TEST_F(SystemRegistration, UnwritableRegistryFailsThePass) {
  const UnwritableHive hive;
  const OleAutLibrary oleAut;
  SystemRegistry registry(oleAut.handle);
  EXPECT_EQ(RunRegistration(*server_, registry, true), E_FAIL);
}

} // namespace
} // namespace tellavo::server::testing
