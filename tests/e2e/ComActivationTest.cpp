// The module as COM serves it: the registered class is created from the
// module's file, and the module answers that it may be unloaded only while no
// object, factory reference or lock is outstanding.
#include <gtest/gtest.h>

#include "Platform.h"
#include "common/ComPtr.h"
#include "gateway/Tellavo_TLB.h"

namespace tellavo::test {
namespace {

using CanUnloadNowEntry = HRESULT(WINAPI*)();

HMODULE LoadedModule() {
  return GetModuleHandleW(L"Tellavo.dll");
}

HRESULT CanUnloadNow() {
  const auto entry = reinterpret_cast<CanUnloadNowEntry>(
      reinterpret_cast<void (*)()>(GetProcAddress(LoadedModule(), "DllCanUnloadNow")));
  return entry ? entry() : E_FAIL;
}

ComPtr<IClassFactory> Factory() {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(CoGetClassObject(CLSID_Gateway, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(factory.Out())),
            S_OK);
  return factory;
}

TEST(ComActivation, ObjectsFactoriesAndLocksKeepTheModuleLoaded) {
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  ASSERT_NE(LoadedModule(), nullptr);
  EXPECT_EQ(CanUnloadNow(), S_FALSE) << "a factory reference is out";

  ComPtr<IGateway> gateway;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IGateway, reinterpret_cast<void**>(gateway.Out())),
            S_OK);
  factory.Reset();
  EXPECT_EQ(CanUnloadNow(), S_FALSE) << "an object lives";
  gateway.Reset();
  EXPECT_EQ(CanUnloadNow(), S_OK);

  Factory()->LockServer(TRUE);
  EXPECT_EQ(CanUnloadNow(), S_FALSE) << "the server is locked";
  Factory()->LockServer(FALSE);
  EXPECT_EQ(CanUnloadNow(), S_OK);

  CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_EQ(LoadedModule(), nullptr) << "COM unloads an idle module";
}

TEST(ComActivation, RefusalsLeaveNoObjectBehind) {
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  ComPtr<IUnknown> object;
  EXPECT_EQ(
      factory->CreateInstance(nullptr, IID_IClassFactory, reinterpret_cast<void**>(object.Out())),
      E_NOINTERFACE);
  EXPECT_FALSE(object);
  factory.Reset();
  EXPECT_EQ(CanUnloadNow(), S_OK);

  ComPtr<IDispatch> dispatch;
  EXPECT_EQ(CoCreateInstance(CLSID_Gateway, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(dispatch.Out())),
            S_OK)
      << "the dual interface is also reached as IDispatch";
}

} // namespace
} // namespace tellavo::test
