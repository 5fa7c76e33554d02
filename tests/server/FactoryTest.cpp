#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "ServerFixture.h"
#include "server/ClassManager.h"
#include "server/EntryPoints.h"
#include "server/TypeInfo.h"
#ifdef _WIN32
#include "support/HiddenDesktop.h"
#endif

namespace tellavo {

// A dual interface that the Gateway coclass does not name.
struct IOther : IDispatch {
protected:
  ~IOther() = default;
};

namespace server {
template <> struct DualInterface<IOther> {
  static constexpr GUID Id{0x0BADF00D, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
};
} // namespace server

namespace server::testing {
namespace {

class TOther final : public TAutoObject<IOther> {
public:
  using TAutoObject::TAutoObject;
};

class TFailing final : public TTestGateway {
public:
  TFailing(TAutoObjectFactory& factory, IUnknown* controller) : TTestGateway(factory, controller) {
    throw Exception(u"No line");
  }
};

const CLSID kUnknownClass{0x0BADC1A5, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};

template <class T> std::u16string SetUpFailure(TComServer& server, const CLSID& classId) {
  try {
    TAutoObjectFactory::Create<T>(server, u"TBroken", classId, Instancing::MultiInstance,
                                  ThreadingModel::Apartment);
  } catch (const EOleError& error) {
    return error.Message();
  }
  return u"no failure";
}

using FactoryTest = ServerTest;

TEST_F(FactoryTest, TakesItsClassFromTheTypeLibrary) {
  EXPECT_EQ(factory_.ClassName(), u"Gateway");
  EXPECT_EQ(factory_.Description(), u"SMS Gateway Objesi");
  EXPECT_EQ(factory_.ProgID(), u"Tellavo.Gateway");
  EXPECT_EQ(factory_.ErrorIID(), IID_IGateway);
  EXPECT_EQ(factory_.EventIID(), GUID_NULL);
  EXPECT_EQ(server_->ServerName(), u"Tellavo");
  EXPECT_EQ(ComClassManager().GetFactoryFromClassID(CLSID_Gateway), &factory_);
}

TEST_F(FactoryTest, RefusesTypeLibrariesThatDoNotFitTheClass) {
  EXPECT_EQ(SetUpFailure<TTestGateway>(*server_, kUnknownClass),
            u"Type information missing for class TBroken");
  EXPECT_EQ(SetUpFailure<TOther>(*server_, CLSID_Gateway),
            u"Dispatch interface missing from class TBroken");
  EXPECT_EQ(ComClassManager().GetFactoryFromClassID(CLSID_Gateway), &factory_);

  TComServer elsewhere([] { return std::u16string(u"/nowhere/libtellavo.so"); });
  EXPECT_EQ(elsewhere.ServerName(), u"libtellavo");
  EXPECT_THROW(elsewhere.TypeLib(), EOleSysError);
}

TEST_F(FactoryTest, ReferencesCountInTheServerAndNeverDestroyIt) {
  EXPECT_EQ(CanUnloadNow(server_.get()), S_OK);
  ComPtr<IClassFactory> first;
  ASSERT_EQ(GetClassObject(CLSID_Gateway, IID_IClassFactory, reinterpret_cast<void**>(first.Out())),
            S_OK);
  EXPECT_EQ(first.Get(), static_cast<IClassFactory*>(&factory_));
  ComPtr<IUnknown> second;
  ASSERT_EQ(GetClassObject(CLSID_Gateway, IID_IUnknown, reinterpret_cast<void**>(second.Out())),
            S_OK);
  EXPECT_EQ(server_->FactoryCount(), 2);
  EXPECT_EQ(CanUnloadNow(server_.get()), S_FALSE);
  first.Reset();
  second.Reset();
  EXPECT_EQ(server_->FactoryCount(), 0);
  EXPECT_EQ(CanUnloadNow(server_.get()), S_OK);
  EXPECT_EQ(factory_.ClassName(), u"Gateway") << "still alive";

  void* object = &object;
  EXPECT_EQ(GetClassObject(CLSID_Gateway, IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  object = &object;
  EXPECT_EQ(GetClassObject(kUnknownClass, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(GetClassObject(CLSID_Gateway, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(server_->FactoryCount(), 0);
}

TEST_F(FactoryTest, LocksAndObjectsKeepTheModuleLoaded) {
  EXPECT_EQ(factory_.LockServer(TRUE), S_OK);
  EXPECT_EQ(CanUnloadNow(server_.get()), S_FALSE);
  EXPECT_EQ(factory_.LockServer(FALSE), S_OK);
  EXPECT_EQ(CanUnloadNow(server_.get()), S_OK);
  {
    auto gateway = Create<IGateway>(IID_IGateway);
    EXPECT_EQ(CanUnloadNow(server_.get()), S_FALSE);
  }
  EXPECT_EQ(CanUnloadNow(server_.get()), S_OK);
  // An unbalanced unlock drives the count negative, which also keeps it.
  factory_.LockServer(FALSE);
  EXPECT_EQ(CanUnloadNow(server_.get()), S_FALSE);
  factory_.LockServer(TRUE);
  EXPECT_EQ(CanUnloadNow(nullptr), S_OK);
}

TEST_F(FactoryTest, CreateInstanceRefusalsLeaveNothingBehind) {
  EXPECT_EQ(factory_.CreateInstance(nullptr, IID_IGateway, nullptr), E_POINTER);

  IUnknown* outer = Create<IUnknown>(IID_IUnknown).Detach();
  void* object = &object;
  EXPECT_EQ(factory_.CreateInstance(outer, IID_IGateway, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  outer->Release();

  const LONG before = server_->ObjectCount();
  object = &object;
  EXPECT_EQ(factory_.CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(server_->ObjectCount(), before);
}

TEST_F(FactoryTest, FailedConstructionAnswersUnexpected) {
  auto& failing = TAutoObjectFactory::Create<TFailing>(
      *server_, u"TFailing", CLSID_Gateway, Instancing::MultiInstance, ThreadingModel::Apartment);
  const LONG before = server_->ObjectCount();
  void* object = &object;
  EXPECT_EQ(failing.CreateInstance(nullptr, IID_IGateway, &object), E_UNEXPECTED);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(server_->ObjectCount(), before);
}

#ifdef _WIN32
// The box that shows a creation error is tried on the visible desktop and
// never on a window station that nobody sees, where it would hold the thread.
TEST_F(FactoryTest, CreationErrorBoxOnlyWhereSomebodySeesIt) {
  auto& failing = TAutoObjectFactory::Create<TFailing>(
      *server_, u"TFailing", CLSID_Gateway, Instancing::MultiInstance, ThreadingModel::Apartment);
  void* object = &object;
  {
    const test::WindowCreationWatch windows;
    EXPECT_EQ(failing.CreateInstance(nullptr, IID_IGateway, &object), E_UNEXPECTED);
    EXPECT_GE(windows.Attempts(), 1);
  }
  const test::ScopedHiddenWindowStation hidden;
  const test::WindowCreationWatch windows;
  EXPECT_EQ(failing.CreateInstance(nullptr, IID_IGateway, &object), E_UNEXPECTED);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(windows.Attempts(), 0);
}
#endif

TEST(TypeLibLoad, RacingLoadsAllGetTheOneKeptLibrary) {
  TComServer server(ProgramPath);
  std::vector<ITypeLib*> seen(4);
  {
    std::vector<std::jthread> threads;
    for (auto& slot : seen)
      threads.emplace_back([&server, &slot] { slot = server.TypeLib(); });
  }
  for (ITypeLib* library : seen)
    EXPECT_EQ(library, server.TypeLib());
  EXPECT_EQ(TypeLibName(server.TypeLib()), u"Tellavo");
}

// As the process ends, the server gives up its factories and type library
// without releasing anything: the libraries that would be called may be gone.
TEST(ServerAbandon, ReleasesNothingAndUnlinksItsFactories) {
  auto server = std::make_unique<TComServer>(ProgramPath);
  TComObjectFactory& factory = TAutoObjectFactory::Create<TTestGateway>(
      *server, u"TTestGateway", CLSID_Gateway, Instancing::MultiInstance,
      ThreadingModel::Apartment);
  ITypeLib* library = server->TypeLib();
  const ULONG held = library->AddRef();

  server->Abandon();
  int linked = 0;
  ComClassManager().ForEachFactory(*server, [&](const TComObjectFactory&) { ++linked; });
  EXPECT_EQ(linked, 0);
  server.reset();
  EXPECT_EQ(library->AddRef(), held + 1) << "no reference of the server or its factory is gone";
  library->Release();

  // What the end of the process would reclaim.
  delete &factory;
  library->Release();
  library->Release();
}

TEST(CreationErrorText, AddsAFullStopAfterWordCharacters) {
  EXPECT_EQ(CreationErrorText(u"No line"), u"No line.");
  EXPECT_EQ(CreationErrorText(u"Done."), u"Done.");
  EXPECT_EQ(CreationErrorText(u"Why?"), u"Why?.");
  EXPECT_EQ(CreationErrorText(u"Stop!"), u"Stop!");
  EXPECT_EQ(CreationErrorText(u"trailing "), u"trailing ");
  EXPECT_EQ(CreationErrorText(u"Arayüz"), u"Arayüz.");
  EXPECT_EQ(CreationErrorText(u""), u"");
}

} // namespace
} // namespace server::testing
} // namespace tellavo
