#include <gtest/gtest.h>

#include "HiveFixture.h"
#include "ServerFixture.h"
#include "common/WideText.h"
#include "server/Module.h"
#include "server/ModuleUnits.h"

namespace tellavo {

// The test program's units: the Gateway class served by TTestGateway.
void InitializeModuleUnits() {
  server::TAutoObjectFactory::Create<server::testing::TTestGateway>(
      server::ComServer(), u"TTestGateway", CLSID_Gateway, server::Instancing::MultiInstance,
      server::ThreadingModel::Apartment);
}

namespace server::testing {
namespace {

TEST(Module, StartsOnFirstUseAndServesItsClasses) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(ModuleGetClassObject(CLSID_Gateway, IID_IClassFactory,
                                 reinterpret_cast<void**>(factory.Out())),
            S_OK);
  EXPECT_EQ(ComServer().ServerName(), u"Tellavo");
  EXPECT_EQ(ModuleCanUnloadNow(), S_FALSE);

  ComPtr<IGateway> gateway;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IGateway, reinterpret_cast<void**>(gateway.Out())),
            S_OK);
  factory.Reset();
  EXPECT_EQ(ModuleCanUnloadNow(), S_FALSE);
  gateway.Reset();
  EXPECT_EQ(ModuleCanUnloadNow(), S_OK);
}

TEST(Module, RegistersTheProgramAsItsServer) {
  ScopedHive hive(TestHivePath("module"));
  ASSERT_EQ(ModuleUpdateRegistry(true), S_OK);
  EXPECT_EQ(ScopedHive::Read(u"CLSID\\{30382C13-28EC-4B56-A42C-7172636B226B}\\InprocServer32"),
            ProgramPath());
  EXPECT_EQ(ScopedHive::Read(u"Tellavo.Gateway"), u"SMS Gateway Objesi");
  ASSERT_EQ(ModuleUpdateRegistry(false), S_OK);
  EXPECT_FALSE(ScopedHive::Read(u"Tellavo.Gateway").has_value());
}

// The calling user's registration writes the machine's entries below the
// user's classes and nothing in the machine's; only "user" is understood.
TEST(Module, InstallsForTheUserAloneOnItsOneCommandLine) {
  ScopedHive hive(TestHivePath("module-user"));
  const std::u16string server = u"CLSID\\{30382C13-28EC-4B56-A42C-7172636B226B}\\InprocServer32";
  const std::u16string library = u"TypeLib\\{F9D49477-8E41-44EF-A935-C2B3A926075D}\\2.0";
  const std::u16string classes = u"Software\\Classes\\";
  const auto readUser = [&](const std::u16string& key) {
    return ScopedHive::Read(classes + key, u"", HKEY_CURRENT_USER);
  };
  for (const char16_t* refused : {u"", u"machine", u"user ", u"/user"})
    EXPECT_EQ(ModuleInstall(true, Wide(refused)), E_INVALIDARG);
  EXPECT_EQ(ModuleInstall(true, nullptr), E_INVALIDARG);
  EXPECT_FALSE(readUser(u"Tellavo.Gateway").has_value());

  ASSERT_EQ(ModuleInstall(true, Wide(u"User")), S_OK);
  EXPECT_EQ(readUser(server), ProgramPath());
  EXPECT_EQ(readUser(u"Tellavo.Gateway"), u"SMS Gateway Objesi");
  EXPECT_TRUE(readUser(library).has_value());
  EXPECT_FALSE(ScopedHive::Read(u"Tellavo.Gateway").has_value());
  EXPECT_FALSE(ScopedHive::Read(library).has_value());

  ASSERT_EQ(ModuleInstall(false, Wide(u"user")), S_OK);
  EXPECT_FALSE(readUser(server).has_value());
  EXPECT_FALSE(readUser(u"Tellavo.Gateway").has_value());
  EXPECT_FALSE(readUser(library).has_value());
}

} // namespace
} // namespace server::testing
} // namespace tellavo
