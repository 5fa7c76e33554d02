#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ServerFixture.h"
#include "server/Registration.h"
#include "server/TypeInfo.h"

namespace tellavo::server::testing {
namespace {

constexpr char16_t kClassKey[] = u"CLSID\\{30382C13-28EC-4B56-A42C-7172636B226B}";

// Records what the pass asks of the registry, one line per call; a write can
// be made to fail.
class Recorder final : public RegistryLayer {
public:
  void WriteEntry(const std::u16string& key, const std::u16string& valueName,
                  const std::u16string& data) override {
    if (writes++ == failingWrite)
      throw EOleRegistrationError(u"Error creating system registry entry", E_FAIL);
    calls.push_back(u"write " + key + u" [" + valueName + u"] " + data);
  }
  void DeleteKey(const std::u16string& key) override { calls.push_back(u"delete " + key); }
  void RegisterTypeLibrary(ITypeLib* library, const std::u16string& path,
                           const std::u16string& helpDirectory) override {
    if (failTypeLibrary)
      throw EOleSysError(u"", TYPE_E_REGISTRYACCESS);
    calls.push_back(u"typelib " + TypeLibName(library) + u" " + path + u" " + helpDirectory);
  }
  void UnregisterTypeLibrary(const TLIBATTR& library) override {
    calls.push_back(u"untypelib " + GuidText(library.guid) + u" " +
                    std::u16string(1, u'0' + library.wMajorVerNum) + u"." +
                    std::u16string(1, u'0' + library.wMinorVerNum));
  }
  std::u16string ShortPathName(const std::u16string&) override { return shortPath; }

  std::vector<std::u16string> calls;
  std::u16string shortPath;
  int writes = 0;
  int failingWrite = -1;
  bool failTypeLibrary = false;
};

class RegistrationTest : public ServerTest {
protected:
  RegistrationTest() { modulePath_ = u"/opt/tellavo/lib/libtellavo.so"; }

  std::vector<std::u16string> Writes(const std::u16string& modulePath) {
    const std::u16string k = kClassKey;
    return {
        u"write " + k + u" [] SMS Gateway Objesi",
        u"write " + k + u"\\InprocServer32 [] " + modulePath,
        u"write " + k + u"\\InprocServer32 [ThreadingModel] Apartment",
        u"write Tellavo.Gateway [] SMS Gateway Objesi",
        u"write Tellavo.Gateway\\Clsid [] {30382C13-28EC-4B56-A42C-7172636B226B}",
        u"write " + k + u"\\ProgID [] Tellavo.Gateway",
        u"write " + k + u"\\Version [] 2.0",
        u"write " + k + u"\\TypeLib [] {F9D49477-8E41-44EF-A935-C2B3A926075D}",
    };
  }

  Recorder registry_;
};

TEST_F(RegistrationTest, RegistersTheTypeLibraryThenEightEntries) {
  ASSERT_EQ(RunRegistration(*server_, registry_, true), S_OK);
  auto expected = Writes(modulePath_);
  expected.insert(expected.begin(),
                  u"typelib Tellavo /opt/tellavo/lib/libtellavo.so /opt/tellavo/lib/");
  EXPECT_EQ(registry_.calls, expected);
}

TEST_F(RegistrationTest, PathWithABlankRegistersItsShortForm) {
  modulePath_ = u"/opt/Tellavo COM/libtellavo.so";
  registry_.shortPath = u"/opt/TELLAV~1/libtellavo.so";
  ASSERT_EQ(RunRegistration(*server_, registry_, true), S_OK);
  EXPECT_EQ(registry_.calls.at(0), u"typelib Tellavo " + modulePath_ + u" /opt/Tellavo COM/");
  EXPECT_EQ(registry_.calls.at(2), Writes(registry_.shortPath).at(1));

  // Without a short form the path is registered as it is, never empty.
  registry_.calls.clear();
  registry_.shortPath.clear();
  ASSERT_EQ(RunRegistration(*server_, registry_, true), S_OK);
  EXPECT_EQ(registry_.calls.at(2), Writes(modulePath_).at(1));
}

TEST_F(RegistrationTest, UnregistersTheTypeLibraryThenSevenKeys) {
  const std::u16string k = kClassKey;
  const std::vector<std::u16string> expected = {
      u"untypelib {F9D49477-8E41-44EF-A935-C2B3A926075D} 2.0",
      u"delete " + k + u"\\TypeLib",
      u"delete " + k + u"\\Version",
      u"delete " + k + u"\\ProgID",
      u"delete Tellavo.Gateway\\Clsid",
      u"delete Tellavo.Gateway",
      u"delete " + k + u"\\InprocServer32",
      u"delete " + k,
  };
  ASSERT_EQ(RunRegistration(*server_, registry_, false), S_OK);
  EXPECT_EQ(registry_.calls, expected);
  registry_.calls.clear();
  ASSERT_EQ(RunRegistration(*server_, registry_, false), S_OK);
  EXPECT_EQ(registry_.calls, expected);
}

TEST_F(RegistrationTest, FirstFailureStopsThePassAndKeepsEarlierEntries) {
  registry_.failingWrite = 3;
  EXPECT_EQ(RunRegistration(*server_, registry_, true), E_FAIL);
  auto expected = Writes(modulePath_);
  expected.resize(3);
  expected.insert(expected.begin(),
                  u"typelib Tellavo /opt/tellavo/lib/libtellavo.so /opt/tellavo/lib/");
  EXPECT_EQ(registry_.calls, expected);

  Recorder refused;
  refused.failTypeLibrary = true;
  EXPECT_EQ(RunRegistration(*server_, refused, true), E_FAIL);
  EXPECT_TRUE(refused.calls.empty());
}

TEST_F(RegistrationTest, InternalClassesAreNotRegistered) {
  TComServer internal(ProgramPath);
  TAutoObjectFactory::Create<TTestGateway>(internal, u"TTestGateway", CLSID_Gateway,
                                           Instancing::Internal, ThreadingModel::Single);
  ASSERT_EQ(RunRegistration(internal, registry_, true), S_OK);
  ASSERT_EQ(registry_.calls.size(), 1u);
  EXPECT_EQ(registry_.calls[0].substr(0, 8), u"typelib ");
}

} // namespace
} // namespace tellavo::server::testing
