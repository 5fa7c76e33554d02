#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "ServerFixture.h"
#include "common/Exceptions.h"
#include "common/Utf.h"
#include "server/Registration.h"
#include "server/TypeInfo.h"

namespace tellavo::server::testing {
namespace {

constexpr char16_t kClassKey[] = u"CLSID\\{30382C13-28EC-4B56-A42C-7172636B226B}";
constexpr char16_t kVersionKey[] = u"TypeLib\\{F9D49477-8E41-44EF-A935-C2B3A926075D}\\2.0";
const HRESULT kAccessDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);

// Records what the pass asks of the registry, one line per call. A write or
// a deletion can be refused as the registry refuses a caller without the
// rights; the type library's entry comes and goes with its registration.
class Recorder final : public RegistryLayer {
public:
  explicit Recorder(std::u16string libraryEntry) : libraryEntry(std::move(libraryEntry)) {}

  void WriteEntry(const std::u16string& key, const std::u16string& valueName,
                  const std::u16string& data) override {
    if (writes++ == failingWrite)
      throw EOleRegistrationError(u"Error creating system registry entry", kAccessDenied);
    calls.push_back(u"write " + key + u" [" + valueName + u"] " + data);
  }
  void DeleteKey(const std::u16string& key) override {
    if (key == refusedKey)
      throw EOleRegistrationError(u"Error removing system registry entry", kAccessDenied);
    calls.push_back(u"delete " + key);
    existing.erase(key);
  }
  bool KeyExists(const std::u16string& key) override { return existing.contains(key); }
  void RegisterTypeLibrary(ITypeLib* library, const std::u16string& path,
                           const std::u16string& helpDirectory) override {
    if (failTypeLibrary)
      throw EOleSysError(u"", TYPE_E_REGISTRYACCESS);
    calls.push_back(u"typelib " + TypeLibName(library) + u" " + path + u" " + helpDirectory);
    existing.insert(libraryEntry);
  }
  HRESULT UnregisterTypeLibrary(const TLIBATTR& library) override {
    calls.push_back(u"untypelib " + GuidText(library.guid) + u" " +
                    std::u16string(1, u'0' + library.wMajorVerNum) + u"." +
                    std::u16string(1, u'0' + library.wMinorVerNum));
    if (!typeLibraryStays)
      existing.erase(libraryEntry);
    return typeLibraryResult;
  }
  std::u16string ShortPathName(const std::u16string&) override { return shortPath; }

  std::u16string libraryEntry;
  std::vector<std::u16string> calls;
  std::set<std::u16string> existing;
  std::u16string shortPath;
  std::u16string refusedKey;
  int writes = 0;
  int failingWrite = -1;
  bool failTypeLibrary = false;
  HRESULT typeLibraryResult = S_OK;
  bool typeLibraryStays = false;
};

class RegistrationTest : public ServerTest {
protected:
  RegistrationTest() {
    modulePath_ = u"/opt/tellavo/lib/libtellavo.so";
    registry_.libraryEntry = LibraryEntry();
  }

  // The type library's entry of the module's own locale and system kind,
  // present while it is registered.
  std::u16string LibraryEntry() { return std::u16string(kVersionKey) + u"\\409\\" + Kind(); }
  Recorder Registered() {
    Recorder registry(LibraryEntry());
    registry.existing.insert(LibraryEntry());
    return registry;
  }

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

  // The system kind of the module's type library ("win32", or "win64" in a
  // 64-bit Windows build), and the other one.
  std::u16string Kind(bool own = true) {
    const bool win64 = TypeLibAttributes(server_->TypeLib())->syskind == SYS_WIN64;
    return win64 == own ? u"win64" : u"win32";
  }

  // The type library as the system registers it, then its language-neutral
  // entry, which the automation marshaler looks up.
  std::vector<std::u16string> TypeLibWrites() {
    return {u"typelib Tellavo /opt/tellavo/lib/libtellavo.so /opt/tellavo/lib/",
            u"write " + std::u16string(kVersionKey) + u"\\0\\" + Kind() +
                u" [] /opt/tellavo/lib/libtellavo.so"};
  }

  // The removal of a registered module: its language-neutral type library
  // entry, the type library by the system, then the seven class keys.
  std::vector<std::u16string> Deletions() {
    const std::u16string k = kClassKey;
    const std::u16string v = kVersionKey;
    return {
        u"delete " + v + u"\\0\\" + Kind(),
        u"delete " + v + u"\\0",
        u"untypelib {F9D49477-8E41-44EF-A935-C2B3A926075D} 2.0",
        u"delete " + k + u"\\TypeLib",
        u"delete " + k + u"\\Version",
        u"delete " + k + u"\\ProgID",
        u"delete Tellavo.Gateway\\Clsid",
        u"delete Tellavo.Gateway",
        u"delete " + k + u"\\InprocServer32",
        u"delete " + k,
    };
  }

  Recorder registry_{u""};
};

TEST_F(RegistrationTest, RegistersTheTypeLibraryThenEightEntries) {
  ASSERT_EQ(RunRegistration(*server_, registry_, true), S_OK);
  auto expected = Writes(modulePath_);
  const auto library = TypeLibWrites();
  expected.insert(expected.begin(), library.begin(), library.end());
  EXPECT_EQ(registry_.calls, expected);
}

TEST_F(RegistrationTest, PathWithABlankRegistersItsShortForm) {
  modulePath_ = u"/opt/Tellavo COM/libtellavo.so";
  registry_.shortPath = u"/opt/TELLAV~1/libtellavo.so";
  ASSERT_EQ(RunRegistration(*server_, registry_, true), S_OK);
  EXPECT_EQ(registry_.calls.at(0), u"typelib Tellavo " + modulePath_ + u" /opt/Tellavo COM/");
  EXPECT_EQ(registry_.calls.at(1),
            u"write " + std::u16string(kVersionKey) + u"\\0\\" + Kind() + u" [] " + modulePath_);
  EXPECT_EQ(registry_.calls.at(3), Writes(registry_.shortPath).at(1));

  // Without a short form the path is registered as it is, never empty.
  registry_.calls.clear();
  registry_.shortPath.clear();
  ASSERT_EQ(RunRegistration(*server_, registry_, true), S_OK);
  EXPECT_EQ(registry_.calls.at(3), Writes(modulePath_).at(1));
}

TEST_F(RegistrationTest, UnregistersTheTypeLibraryThenSevenKeys) {
  Recorder registry = Registered();
  ASSERT_EQ(RunRegistration(*server_, registry, false), S_OK);
  EXPECT_EQ(registry.calls, Deletions());
  // Again: a type library that is no longer registered is passed over; the
  // keys above the language-neutral entry go when nothing else holds them.
  registry.calls.clear();
  ASSERT_EQ(RunRegistration(*server_, registry, false), S_OK);
  auto expected = Deletions();
  expected[2] = u"delete TypeLib\\{F9D49477-8E41-44EF-A935-C2B3A926075D}";
  EXPECT_EQ(registry.calls, expected);
}

// A library that the system cannot remove (the registered file was moved)
// fails the pass, which says what is left; the next pass finds the library
// by its version key and removes its keys itself, then the classes'.
TEST_F(RegistrationTest, ALibraryTheSystemCannotRemoveIsRemovedByTheNextPass) {
  const std::u16string v = kVersionKey;
  const std::u16string i = u"Interface\\{A5BEFD19-DBEE-4DC7-935A-A4EE27B2C5DD}";
  Recorder registry = Registered();
  registry.existing.insert(v);
  registry.typeLibraryResult = TYPE_E_CANTLOADLIBRARY;
  registry.typeLibraryStays = true;
  try {
    UpdateRegistry(*server_, registry, false);
    ADD_FAILURE() << "the pass went on";
  } catch (const EOleSysError& failure) {
    EXPECT_EQ(failure.ErrorCode(), TYPE_E_CANTLOADLIBRARY);
    EXPECT_NE(failure.Message().find(u". Left in the registry: " + v + u", " + i +
                                     u" and the classes' entries; unregistering again removes "
                                     u"them"),
              std::u16string::npos)
        << Utf16ToUtf8(failure.Message());
  }
  EXPECT_FALSE(registry.KeyExists(LibraryEntry()));

  registry.calls.clear();
  ASSERT_EQ(RunRegistration(*server_, registry, false), S_OK);
  auto expected = Deletions();
  expected.erase(expected.begin() + 2);
  expected.insert(expected.begin() + 2,
                  {u"delete " + i + u"\\ProxyStubClsid", u"delete " + i + u"\\ProxyStubClsid32",
                   u"delete " + i + u"\\TypeLib", u"delete " + i, u"delete " + LibraryEntry(),
                   u"delete " + v + u"\\409", u"delete " + v + u"\\FLAGS",
                   u"delete " + v + u"\\HELPDIR", u"delete " + v,
                   u"delete TypeLib\\{F9D49477-8E41-44EF-A935-C2B3A926075D}"});
  EXPECT_EQ(registry.calls, expected);
  EXPECT_FALSE(registry.KeyExists(v));
}

// The module of the other system kind (64-bit beside 32-bit Windows modules)
// shares the ProgID, the interface and the type library's version key; while
// it is registered, unregistering this one removes only its own entries.
TEST_F(RegistrationTest, UnregisteringBesideTheOtherKindKeepsWhatItShares) {
  const std::u16string k = kClassKey;
  const std::u16string v = kVersionKey;
  registry_.existing.insert(v + u"\\409\\" + Kind(false));
  ASSERT_EQ(RunRegistration(*server_, registry_, false), S_OK);
  EXPECT_EQ(registry_.calls, (std::vector<std::u16string>{
                                 u"delete " + v + u"\\0\\" + Kind(),
                                 u"delete " + v + u"\\0",
                                 u"delete " + v + u"\\409\\" + Kind(),
                                 u"delete " + v + u"\\409",
                                 u"delete " + k + u"\\TypeLib",
                                 u"delete " + k + u"\\Version",
                                 u"delete " + k + u"\\ProgID",
                                 u"delete " + k + u"\\InprocServer32",
                                 u"delete " + k,
                             }));

  // An entry of this kind alone, or of another locale, is no other module.
  for (const auto& entry : {u"\\409\\" + Kind(), u"\\0\\" + Kind(false)}) {
    Recorder alone = Registered();
    alone.existing.insert(v + entry);
    ASSERT_EQ(RunRegistration(*server_, alone, false), S_OK);
    EXPECT_EQ(alone.calls.at(2), u"untypelib {F9D49477-8E41-44EF-A935-C2B3A926075D} 2.0");
    EXPECT_EQ(alone.calls.at(7), u"delete Tellavo.Gateway");
  }
}

// A registration that the registry refuses halfway answers the system's
// reason and takes away what it wrote, leaving no class half registered.
TEST_F(RegistrationTest, AFailedRegistrationAnswersItsCauseAndIsRemovedAgain) {
  registry_.failingWrite = 4;
  EXPECT_EQ(RunRegistration(*server_, registry_, true), kAccessDenied);
  auto expected = TypeLibWrites();
  const auto written = Writes(modulePath_);
  expected.insert(expected.end(), written.begin(), written.begin() + 3);
  const auto removed = Deletions();
  expected.insert(expected.end(), removed.begin(), removed.end());
  EXPECT_EQ(registry_.calls, expected);

  // The type library's own failure code is passed on as it is.
  Recorder refused(LibraryEntry());
  refused.failTypeLibrary = true;
  EXPECT_EQ(RunRegistration(*server_, refused, true), TYPE_E_REGISTRYACCESS);
  EXPECT_TRUE(std::all_of(refused.calls.begin(), refused.calls.end(),
                          [](const std::u16string& call) { return call.starts_with(u"delete "); }));
}

// Unregistration stops at the first key that is there and cannot be deleted,
// answering the system's reason; a missing key was passed over above.
TEST_F(RegistrationTest, AKeyThatCannotBeDeletedFailsTheUnregistration) {
  Recorder registry = Registered();
  registry.refusedKey = std::u16string(kClassKey) + u"\\InprocServer32";
  EXPECT_EQ(RunRegistration(*server_, registry, false), kAccessDenied);
  auto expected = Deletions();
  expected.resize(expected.size() - 2);
  EXPECT_EQ(registry.calls, expected);
  EXPECT_EQ(registry.writes, 0);
}

// The system's removal of the type library is judged by its entry: a failure
// code fails the pass before any class key goes, and an entry that stays in
// spite of success is deleted here, which names the registry's reason.
TEST_F(RegistrationTest, TheTypeLibraryRemovalIsCheckedByItsEntry) {
  Recorder failing = Registered();
  failing.typeLibraryResult = TYPE_E_REGISTRYACCESS;
  EXPECT_EQ(RunRegistration(*server_, failing, false), TYPE_E_REGISTRYACCESS);
  EXPECT_EQ(failing.calls.back(), Deletions().at(2));

  Recorder stays = Registered();
  stays.typeLibraryStays = true;
  stays.refusedKey = LibraryEntry();
  EXPECT_EQ(RunRegistration(*server_, stays, false), kAccessDenied);
  EXPECT_EQ(stays.calls.back(), Deletions().at(2));

  stays.refusedKey.clear();
  stays.calls.clear();
  ASSERT_EQ(RunRegistration(*server_, stays, false), S_OK);
  EXPECT_EQ(stays.calls.at(3), u"delete " + LibraryEntry());

  // Without the system's function the library stays registered, as before.
  Recorder unable = Registered();
  unable.typeLibraryResult = S_FALSE;
  unable.typeLibraryStays = true;
  ASSERT_EQ(RunRegistration(*server_, unable, false), S_OK);
  EXPECT_EQ(unable.calls, Deletions());
}

TEST_F(RegistrationTest, InternalClassesAreNotRegistered) {
  TComServer internal(ProgramPath);
  TAutoObjectFactory::Create<TTestGateway>(internal, u"TTestGateway", CLSID_Gateway,
                                           Instancing::Internal, ThreadingModel::Single);
  ASSERT_EQ(RunRegistration(internal, registry_, true), S_OK);
  ASSERT_EQ(registry_.calls.size(), 2u);
  EXPECT_TRUE(registry_.calls[0].starts_with(u"typelib "));
  EXPECT_TRUE(registry_.calls[1].starts_with(u"write TypeLib\\"));
}

} // namespace
} // namespace tellavo::server::testing
