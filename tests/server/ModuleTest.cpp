#include <gtest/gtest.h>

#include "HiveFixture.h"
#include "ServerFixture.h"
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

} // namespace
} // namespace server::testing
} // namespace tellavo
