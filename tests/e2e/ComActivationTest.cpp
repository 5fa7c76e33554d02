// The module as COM serves it: the registered class is created from the
// module's file, its type library describes the function table that
// early-bound clients call, and the module answers that it may be
// unloaded only while no object, factory reference or lock is outstanding.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Platform.h"
#include "common/Bstr.h"
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

// An unload that is not the end of the process cleans up everything, so the
// module loads again into the same process and serves as new: its factory
// and type library are made afresh, and the basket is empty again.
TEST(ComActivation, AnUnloadedModuleLoadsAgainAndServesAfresh) {
  for (int load = 0; load < 2; ++load) {
    ComPtr<IGateway> gateway;
    ASSERT_EQ(CoCreateInstance(CLSID_Gateway, nullptr, CLSCTX_INPROC_SERVER, IID_IGateway,
                               reinterpret_cast<void**>(gateway.Out())),
              S_OK)
        << "load " << load;
    // Late-bound, through the type library that this load of the module made.
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(gateway->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.Out())),
              S_OK);
    LPOLESTR name = const_cast<LPOLESTR>(L"sendsms");
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);

    BSTR empty = nullptr;
    BSTR result = nullptr;
    ASSERT_EQ(gateway->sendsms(empty, empty, empty, empty, empty, &result), S_OK);
    EXPECT_EQ(BStr::Attach(result).Text(), u"-2") << "load " << load << " starts with no basket";
    ASSERT_EQ(gateway->addtosmsbasket(BStr(u"Merhaba").Get(), BStr(u"5550000001").Get(), &result),
              S_OK);
    BStr::Attach(result);

    dispatch.Reset();
    gateway.Reset();
    CoFreeUnusedLibrariesEx(0, 0);
    ASSERT_EQ(LoadedModule(), nullptr) << "load " << load;
  }
}

// On 64-bit Windows a 32-bit program runs under WoW64 and a 64-bit one
// natively; each loads the module of its own bitness, from the class
// registration of its own registry view.
TEST(ComActivation, HostAndModuleAreOfTheBuildsBitness) {
  static_assert(sizeof(void*) * 8 == TELLAVO_WINDOWS_BITS);
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64 != FALSE, TELLAVO_WINDOWS_BITS == 32) << "a 64-bit Windows runs the tests";

  ComPtr<IDispatch> object;
  ASSERT_EQ(CoCreateInstance(CLSID_Gateway, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(object.Out())),
            S_OK);
  const auto* image = reinterpret_cast<const BYTE*>(LoadedModule());
  ASSERT_NE(image, nullptr);
  const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
  EXPECT_EQ(headers->FileHeader.Machine,
            TELLAVO_WINDOWS_BITS == 64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
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

TEST(ComActivation, TypeLibraryDescribesTheClientsFunctionTable) {
  ComPtr<IDispatch> object;
  ASSERT_EQ(CoCreateInstance(CLSID_Gateway, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(object.Out())),
            S_OK);
  ComPtr<ITypeInfo> dual;
  ASSERT_EQ(object->GetTypeInfo(0, 0, dual.Out()), S_OK);
  // The dual interface's own description, whose functions carry their slots.
  HREFTYPE reference = 0;
  ASSERT_EQ(dual->GetRefTypeOfImplType(-1, &reference), S_OK);
  ComPtr<ITypeInfo> table;
  ASSERT_EQ(dual->GetRefTypeInfo(reference, table.Out()), S_OK);

  // The methods in the order of the client's IGateway, after IUnknown's three
  // and IDispatch's four functions, with the arguments a caller passes.
  const std::vector<std::pair<std::u16string, SHORT>> methods = {
      {u"getinfo", 4},      {u"addtosmsbasket", 3},     {u"clearsmsbasket", 0},
      {u"getmsgstatus", 5}, {u"getmsgstatustodate", 6}, {u"sendsms", 6},
      {u"sendsmsconcat", 6}};
  std::vector<std::pair<std::u16string, SHORT>> found(methods.size());
  const auto releaseFuncDesc = [&table](FUNCDESC* function) { table->ReleaseFuncDesc(function); };
  for (UINT index = 0;; ++index) {
    FUNCDESC* described = nullptr;
    if (FAILED(table->GetFuncDesc(index, &described)))
      break;
    const std::unique_ptr<FUNCDESC, decltype(releaseFuncDesc)> function(described, releaseFuncDesc);
    const size_t slot = static_cast<size_t>(function->oVft) / sizeof(void*);
    BStr name;
    UINT count = 0;
    table->GetNames(function->memid, name.Out(), 1, &count);
    if (slot >= 7 && slot - 7 < found.size())
      found[slot - 7] = {name.Text(), function->cParams};
  }
  EXPECT_EQ(found, methods);
}

} // namespace
} // namespace tellavo::test
