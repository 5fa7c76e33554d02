// A module whose start-up fails: it serves no class, and its registration
// answers the start-up's own code and leaves the registry alone, so that an
// installer reports why instead of a bare failure.
#include <gtest/gtest.h>

#include "HiveFixture.h"
#include "common/Exceptions.h"
#include "common/WideText.h"
#include "gateway/Tellavo_TLB.h"
#include "server/Module.h"
#include "server/ModuleUnits.h"

namespace tellavo {

// The test program's units fail as a type library that cannot be read does.
void InitializeModuleUnits() {
  throw EOleSysError(u"", TYPE_E_CANTLOADLIBRARY);
}

namespace server::testing {
namespace {

TEST(ModuleStartFailure, RegistrationAnswersTheStartUpsCode) {
  ScopedHive hive(TestHivePath("start-failure"));
  void* factory = &hive; // anything but null, to see it cleared
  EXPECT_EQ(ModuleGetClassObject(CLSID_Gateway, IID_IClassFactory, &factory),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factory, nullptr);
  EXPECT_EQ(ModuleUpdateRegistry(true), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(ModuleUpdateRegistry(false), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(ModuleInstall(true, Wide(u"user")), TYPE_E_CANTLOADLIBRARY);
  EXPECT_FALSE(ScopedHive::Read(u"Tellavo.Gateway").has_value());
  EXPECT_FALSE(
      ScopedHive::Read(u"Software\\Classes\\Tellavo.Gateway", u"", HKEY_CURRENT_USER).has_value());
}

} // namespace
} // namespace server::testing
} // namespace tellavo
