#include <gtest/gtest.h>

#include <array>

#include "ServerFixture.h"
#include "common/Variant.h"
#include "common/WideText.h"
#include "server/TypeInfo.h"

namespace tellavo::server::testing {
namespace {

struct ErrorObject {
  bool present = false;
  GUID guid{};
  std::u16string source, description;
  DWORD helpContext = 0;
};

ErrorObject TakeErrorObject() {
  ErrorObject taken;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Out()) != S_OK || !info)
    return taken;
  taken.present = true;
  info->GetGUID(&taken.guid);
  BStr text;
  info->GetSource(text.Out());
  taken.source = text.Text();
  info->GetDescription(text.Out());
  taken.description = text.Text();
  info->GetHelpContext(&taken.helpContext);
  return taken;
}

GUID TypeGuid(ITypeInfo* info) {
  return TypeAttributes(info)->guid;
}

// An outer object that aggregates a Gateway and counts what reaches it.
class Outer final : public IUnknown {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    ++queries;
    if (IsEqualGUID(iid, IID_IUnknown)) {
      *object = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(iid, object) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  ComPtr<IUnknown> inner;
  int queries = 0;
  ULONG references = 1;
};

const GUID kOtherInterface{0x0BADF00D, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};

using ObjectTest = ServerTest;

TEST_F(ObjectTest, AnswersItsFiveInterfacesWithOneIdentity) {
  auto gateway = Create<IGateway>(IID_IGateway);
  ASSERT_TRUE(gateway);
  const auto dispatch = gateway.Query<IDispatch>(IID_IDispatch);
  EXPECT_EQ(static_cast<IDispatch*>(gateway.Get()), dispatch.Get());
  EXPECT_TRUE(gateway.Query<IProvideClassInfo>(IID_IProvideClassInfo));
  const auto support = gateway.Query<ISupportErrorInfo>(IID_ISupportErrorInfo);
  ASSERT_TRUE(support);
  const auto identity = gateway.Query<IUnknown>(IID_IUnknown);
  EXPECT_EQ(support.Query<IUnknown>(IID_IUnknown).Get(), identity.Get());

  void* none = &none;
  EXPECT_EQ(gateway->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  for (const IID* iid : std::array{&IID_IGateway, &IID_IDispatch, &IID_IProvideClassInfo,
                                   &IID_ISupportErrorInfo, &IID_IUnknown})
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(*iid), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IClassFactory), S_FALSE);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(kOtherInterface), S_FALSE);
}

TEST_F(ObjectTest, ReferencesKeepTheObjectCounted) {
  const LONG before = server_->ObjectCount();
  {
    auto gateway = Create<IGateway>(IID_IGateway);
    EXPECT_EQ(server_->ObjectCount(), before + 1);
    auto copy = gateway;
    gateway.Reset();
    EXPECT_EQ(server_->ObjectCount(), before + 1);
  }
  EXPECT_EQ(server_->ObjectCount(), before);
}

TEST_F(ObjectTest, ObjectsReleasedDuringUnloadLeaveTheCountAlone) {
  auto gateway = Create<IGateway>(IID_IGateway);
  const LONG live = server_->ObjectCount();
  SetUninitializing(true);
  gateway.Reset();
  SetUninitializing(false);
  EXPECT_EQ(server_->ObjectCount(), live);
}

TEST_F(ObjectTest, TypeAndClassInformation) {
  auto gateway = Create<IGateway>(IID_IGateway);
  UINT count = 0;
  EXPECT_EQ(gateway->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(gateway->GetTypeInfoCount(nullptr), E_POINTER);
  EXPECT_EQ(gateway->GetTypeInfo(0, 0, nullptr), E_POINTER);

  for (LCID locale : {LCID{0}, LOCALE_USER_DEFAULT, LCID{0x041F}}) {
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(gateway->GetTypeInfo(0, locale, info.Out()), S_OK);
    EXPECT_EQ(TypeGuid(info.Get()), IID_IGateway);
    ITypeInfo* bad = info.Get();
    EXPECT_EQ(gateway->GetTypeInfo(1, locale, &bad), DISP_E_BADINDEX);
    EXPECT_EQ(bad, nullptr);
  }

  ComPtr<ITypeInfo> classInfo;
  ASSERT_EQ(gateway.Query<IProvideClassInfo>(IID_IProvideClassInfo)->GetClassInfo(classInfo.Out()),
            S_OK);
  EXPECT_EQ(TypeGuid(classInfo.Get()), CLSID_Gateway);
}

TEST_F(ObjectTest, LateBoundCallsReachTheMethods) {
  auto dispatch = Create<IDispatch>(IID_IDispatch);
  std::u16string name = u"getinfo";
  LPOLESTR names[] = {OleText(name)};
  DISPID id = 0;
  EXPECT_EQ(dispatch->GetIDsOfNames(kOtherInterface, names, 1, 0x041F, &id), S_OK);
  EXPECT_EQ(id, DISPID_getinfo);

  // Arguments arrive last first.
  BStr user(u"u"), password(u"p"), vendor(u"v");
  VARIANT args[3];
  for (VARIANT& arg : args)
    VariantInit(&arg);
  args[0].vt = args[1].vt = args[2].vt = VT_BSTR;
  args[2].bstrVal = user.Get();
  args[1].bstrVal = password.Get();
  args[0].bstrVal = vendor.Get();
  DISPPARAMS params{args, nullptr, 3, 0};
  OwnedVariant result;
  ASSERT_EQ(dispatch->Invoke(DISPID_getinfo, IID_NULL, 0, DISPATCH_METHOD, &params, result.Out(),
                             nullptr, nullptr),
            S_OK);
  ASSERT_EQ(result->vt, VT_BSTR);
  EXPECT_EQ(BstrView(result->bstrVal), u"u|p|v");

  const int cleared = TTestGateway::cleared;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(dispatch->Invoke(DISPID_clearsmsbasket, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr,
                             nullptr, nullptr),
            S_OK);
  EXPECT_EQ(TTestGateway::cleared, cleared + 1);
  EXPECT_NE(dispatch->Invoke(DISPID_clearsmsbasket, IID_NULL, 0, DISPATCH_PROPERTYPUT, &none,
                             nullptr, nullptr, nullptr),
            S_OK);

  // One argument too many, or too few, is refused before the method runs.
  DISPPARAMS surplus{args, nullptr, 1, 0};
  EXPECT_EQ(dispatch->Invoke(DISPID_clearsmsbasket, IID_NULL, 0, DISPATCH_METHOD, &surplus, nullptr,
                             nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
  DISPPARAMS missing{args, nullptr, 2, 0};
  EXPECT_EQ(dispatch->Invoke(DISPID_getinfo, IID_NULL, 0, DISPATCH_METHOD, &missing, result.Out(),
                             nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(TTestGateway::cleared, cleared + 1);
}

TEST_F(ObjectTest, EscapingExceptionsBecomeHresultsAndErrorObjects) {
  auto gateway = Create<IGateway>(IID_IGateway);
  BStr vendor(u"v");
  const auto call = [&](const char16_t* user) {
    BStr name(user);
    BSTR answer = reinterpret_cast<BSTR>(&answer);
    const HRESULT result = gateway->getinfo(name.Get(), nullptr, vendor.Get(), &answer);
    EXPECT_EQ(answer, nullptr) << "the result stays null";
    return result;
  };

  EXPECT_EQ(call(u"oleerror"), E_FAIL);
  ErrorObject error = TakeErrorObject();
  ASSERT_TRUE(error.present);
  EXPECT_EQ(error.guid, IID_IGateway);
  EXPECT_EQ(error.source, u"Tellavo.Gateway");
  EXPECT_EQ(error.description, u"M");

  EXPECT_EQ(call(u"exception"), E_UNEXPECTED);
  error = TakeErrorObject();
  EXPECT_EQ(error.description, u"M");
  EXPECT_EQ(error.helpContext, 42u);
  EXPECT_EQ(error.source, u"Tellavo.Gateway");

  EXPECT_EQ(call(u"foreign"), E_UNEXPECTED);
  EXPECT_FALSE(TakeErrorObject().present);
}

TEST_F(ObjectTest, AggregatedObjectDelegatesToItsOuterObject) {
  Outer outer;
  const LONG before = server_->ObjectCount();
  ASSERT_EQ(
      factory_.CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(outer.inner.Out())),
      S_OK);
  EXPECT_EQ(server_->ObjectCount(), before + 1);

  ComPtr<IGateway> gateway;
  ASSERT_EQ(outer.inner->QueryInterface(IID_IGateway, reinterpret_cast<void**>(gateway.Out())),
            S_OK);
  EXPECT_EQ(outer.references, 2u) << "the reference through IGateway is the outer object's";

  const int queries = outer.queries;
  ComPtr<IUnknown> outerIdentity;
  ASSERT_EQ(gateway->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(outerIdentity.Out())),
            S_OK);
  EXPECT_EQ(outerIdentity.Get(), static_cast<IUnknown*>(&outer));
  EXPECT_EQ(outer.queries, queries + 1);
  outerIdentity.Reset();
  gateway.Reset();
  EXPECT_EQ(outer.references, 1u);

  outer.inner.Reset();
  EXPECT_EQ(server_->ObjectCount(), before) << "releasing the inner unknown destroys the object";
}

} // namespace
} // namespace tellavo::server::testing
