// Late binding through the IGateway type information: name lookup, argument
// conversion and order, error codes, results and exception information.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Platform.h"
#include "common/Bstr.h"
#include "common/ComPtr.h"
#include "gateway/Tellavo_TLB.h"

using tellavo::BStr;
using tellavo::ComPtr;
using namespace tellavo;

namespace {

// Records each call; answers the arguments joined by "|" as retvalue, or
// fails with `failure` after setting an error object.
class RecordingGateway final : public IGateway, public ISupportErrorInfo {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_ISupportErrorInfo && supportsErrorInfo)
      *object = static_cast<ISupportErrorInfo*>(this);
    else if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IGateway)
      *object = static_cast<IGateway*>(this);
    else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
    return riid == IID_IGateway ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE getinfo(BSTR a, BSTR b, BSTR c, BSTR* r) override {
    return Record("getinfo", {a, b, c}, r);
  }
  HRESULT STDMETHODCALLTYPE addtosmsbasket(BSTR a, BSTR b, BSTR* r) override {
    return Record("addtosmsbasket", {a, b}, r);
  }
  HRESULT STDMETHODCALLTYPE clearsmsbasket() override {
    return Record("clearsmsbasket", {}, nullptr);
  }
  HRESULT STDMETHODCALLTYPE getmsgstatus(BSTR a, BSTR b, BSTR c, BSTR d, BSTR* r) override {
    return Record("getmsgstatus", {a, b, c, d}, r);
  }
  HRESULT STDMETHODCALLTYPE getmsgstatustodate(BSTR a, BSTR b, BSTR c, BSTR d, BSTR e,
                                               BSTR* r) override {
    return Record("getmsgstatustodate", {a, b, c, d, e}, r);
  }
  HRESULT STDMETHODCALLTYPE sendsms(BSTR a, BSTR b, BSTR c, BSTR d, BSTR e, BSTR* r) override {
    return Record("sendsms", {a, b, c, d, e}, r);
  }
  HRESULT STDMETHODCALLTYPE sendsmsconcat(BSTR a, BSTR b, BSTR c, BSTR d, BSTR e,
                                          BSTR* r) override {
    return Record("sendsmsconcat", {a, b, c, d, e}, r);
  }

  std::string called;
  std::vector<std::u16string> arguments;
  HRESULT failure = S_OK;
  bool supportsErrorInfo = true;

private:
  HRESULT Record(const char* method, std::vector<BSTR> given, BSTR* retvalue) {
    called = method;
    arguments.clear();
    std::u16string joined;
    for (BSTR argument : given) {
      arguments.emplace_back(BstrView(argument));
      joined += (joined.empty() ? u"" : u"|") + arguments.back();
    }
    if (retvalue != nullptr)
      *retvalue = SysAllocString(joined.c_str());
    if (failure >= 0)
      return S_OK;
    ComPtr<ICreateErrorInfo> create;
    CreateErrorInfo(create.Out());
    create->SetSource(const_cast<LPOLESTR>(u"Tellavo.Gateway"));
    create->SetDescription(const_cast<LPOLESTR>(u"it failed"));
    create->SetHelpContext(17);
    SetErrorInfo(0, create.Query<IErrorInfo>(IID_IErrorInfo).Get());
    return failure;
  }
};

VARIANT Text(BSTR value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = value;
  return v;
}

VARIANT Number(LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

class DispatchTest : public ::testing::Test {
protected:
  void SetUp() override {
    OLECHAR path[4096];
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&Text), &module);
    ASSERT_GT(GetModuleFileNameW(module, path, 4096), 0u);
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(S_OK, LoadTypeLibEx(path, REGKIND_NONE, lib.Out()));
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(IID_IGateway, info_.Out()));
  }

  // Invokes with the arguments given in call order; rgvarg holds them reversed.
  HRESULT Call(DISPID id, std::vector<VARIANT> inOrder, WORD flags = DISPATCH_METHOD,
               EXCEPINFO* excepInfo = nullptr) {
    std::vector<VARIANT> reversed(inOrder.rbegin(), inOrder.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    VariantClear(&result_);
    argErr_ = 99;
    return info_->Invoke(static_cast<IGateway*>(&gateway_), id, flags, &params, &result_, excepInfo,
                         &argErr_);
  }

  std::u16string Result() const { return std::u16string(BstrView(result_.bstrVal)); }

  void TearDown() override { VariantClear(&result_); }

  ComPtr<ITypeInfo> info_;
  RecordingGateway gateway_;
  VARIANT result_{};
  UINT argErr_ = 0;
  BStr user_{u"user"}, pass_{u"pass"}, vendor_{u"v1"};
};

TEST_F(DispatchTest, NamesResolveWithoutRegardToCase) {
  const std::vector<std::pair<std::u16string, DISPID>> names{
      {u"getinfo", 201},        {u"GetInfo", 201},      {u"ADDTOSMSBASKET", 202},
      {u"clearsmsbasket", 203}, {u"getMsgStatus", 204}, {u"getmsgstatustodate", 205},
      {u"SendSms", 206},        {u"sendsmsconcat", 207}};
  for (const auto& [name, expected] : names) {
    LPOLESTR text = const_cast<LPOLESTR>(name.c_str());
    DISPID id = 0;
    EXPECT_EQ(S_OK, DispGetIDsOfNames(info_.Get(), &text, 1, &id));
    EXPECT_EQ(expected, id);
  }
}

TEST_F(DispatchTest, UnknownNamesGiveDispidUnknown) {
  LPOLESTR names[3] = {const_cast<LPOLESTR>(u"getinfoo"), const_cast<LPOLESTR>(u"username"),
                       nullptr};
  DISPID ids[3] = {1, 1, 1};
  EXPECT_EQ(DISP_E_UNKNOWNNAME, DispGetIDsOfNames(info_.Get(), names, 2, ids));
  EXPECT_EQ(DISPID_UNKNOWN, ids[0]);
  EXPECT_EQ(DISPID_UNKNOWN, ids[1]);

  // Parameter names give positions; an unknown one (retvalue is not passed
  // by callers) is reported while the others resolve.
  names[0] = const_cast<LPOLESTR>(u"getinfo");
  names[1] = const_cast<LPOLESTR>(u"Vendor_ID");
  names[2] = const_cast<LPOLESTR>(u"retvalue");
  EXPECT_EQ(DISP_E_UNKNOWNNAME, DispGetIDsOfNames(info_.Get(), names, 3, ids));
  EXPECT_EQ(201, ids[0]);
  EXPECT_EQ(2, ids[1]);
  EXPECT_EQ(DISPID_UNKNOWN, ids[2]);
}

TEST_F(DispatchTest, PositionalArgumentsArriveInDeclarationOrder) {
  BStr date1(u"d1"), date2(u"d2");
  ASSERT_EQ(S_OK, Call(205,
                       {Text(user_.Get()), Text(pass_.Get()), Text(date1.Get()), Text(date2.Get()),
                        Text(vendor_.Get())},
                       DISPATCH_METHOD | DISPATCH_PROPERTYGET));
  EXPECT_EQ("getmsgstatustodate", gateway_.called);
  EXPECT_EQ((std::vector<std::u16string>{u"user", u"pass", u"d1", u"d2", u"v1"}),
            gateway_.arguments);
  EXPECT_EQ(VT_BSTR, result_.vt);
  EXPECT_EQ(u"user|pass|d1|d2|v1", Result());
}

TEST_F(DispatchTest, NamedArgumentsGoToTheirParameters) {
  VARIANT args[3] = {Text(vendor_.Get()), Text(pass_.Get()), Text(user_.Get())};
  DISPID named[1] = {2};
  DISPPARAMS params{args, named, 3, 1};
  ASSERT_EQ(S_OK, info_->Invoke(static_cast<IGateway*>(&gateway_), 201, DISPATCH_METHOD, &params,
                                &result_, nullptr, &argErr_));
  EXPECT_EQ(u"user|pass|v1", Result());
  VariantClear(&result_); // the caller owns the result of each call

  DISPID twice[2] = {0, 0};
  params = {args, twice, 3, 2};
  EXPECT_EQ(DISP_E_PARAMNOTFOUND,
            info_->Invoke(static_cast<IGateway*>(&gateway_), 201, DISPATCH_METHOD, &params,
                          &result_, nullptr, &argErr_));
  EXPECT_EQ(1u, argErr_);
}

TEST_F(DispatchTest, ArgumentsAreConvertedToText) {
  BStr byRef(u"ref");
  BSTR byRefValue = byRef.Get();
  VARIANT inner = Text(byRef.Get());
  std::vector<VARIANT> args(5);
  for (VARIANT& v : args)
    VariantInit(&v);
  args[0].vt = VT_BSTR | VT_BYREF;
  args[0].pbstrVal = &byRefValue;
  args[1].vt = VT_VARIANT | VT_BYREF;
  args[1].pvarVal = &inner;
  args[2] = Number(-42);
  args[3].vt = VT_R8;
  args[3].dblVal = 1.5;
  args[4].vt = VT_BOOL;
  args[4].boolVal = VARIANT_TRUE;
  ASSERT_EQ(S_OK, Call(206, args));
  EXPECT_EQ(u"ref|ref|-42|1.5|-1", Result());

  args = {Number(7), Text(nullptr), VARIANT{}};
  args[2].vt = VT_I2;
  args[2].iVal = -3;
  ASSERT_EQ(S_OK, Call(201, args));
  EXPECT_EQ(u"7||-3", Result());
}

TEST_F(DispatchTest, UnconvertibleArgumentIsReportedByItsIndex) {
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  // Call order user, null, vendor: rgvarg holds vendor, null, user.
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(201, {Text(user_.Get()), null, Text(vendor_.Get())}));
  EXPECT_EQ(1u, argErr_);
  VARIANT missing;
  VariantInit(&missing);
  missing.vt = VT_ERROR;
  missing.scode = DISP_E_PARAMNOTFOUND;
  EXPECT_EQ(DISP_E_PARAMNOTOPTIONAL, Call(202, {missing, Text(user_.Get())}));
  EXPECT_EQ(1u, argErr_);
  EXPECT_TRUE(gateway_.called.empty());
}

TEST_F(DispatchTest, CallShapeErrors) {
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(201, {Text(user_.Get())}));
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(203, {Text(user_.Get())}));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(200, {}));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(208, {}));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(203, {}, DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(203, {}, DISPATCH_METHOD | DISPATCH_PROPERTYPUT));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(203, {}, DISPATCH_PROPERTYGET));
  EXPECT_TRUE(gateway_.called.empty());
}

TEST_F(DispatchTest, ProcedureTakesNoArgumentsAndGivesNoResult) {
  ASSERT_EQ(S_OK, Call(203, {}));
  EXPECT_EQ("clearsmsbasket", gateway_.called);
  EXPECT_EQ(VT_EMPTY, result_.vt);
}

TEST_F(DispatchTest, FailureFillsExceptionInformation) {
  gateway_.failure = E_FAIL;
  EXCEPINFO info{};
  EXPECT_EQ(DISP_E_EXCEPTION,
            Call(202, {Text(user_.Get()), Text(pass_.Get())}, DISPATCH_METHOD, &info));
  EXPECT_EQ(E_FAIL, info.scode);
  EXPECT_EQ(u"Tellavo.Gateway", BstrView(info.bstrSource));
  EXPECT_EQ(u"it failed", BstrView(info.bstrDescription));
  EXPECT_TRUE(BstrView(info.bstrHelpFile).empty());
  EXPECT_EQ(17u, info.dwHelpContext);
  EXPECT_EQ(VT_EMPTY, result_.vt);
  for (BSTR text : {info.bstrSource, info.bstrDescription, info.bstrHelpFile})
    SysFreeString(text);
  // The error object was taken.
  IErrorInfo* left = nullptr;
  EXPECT_EQ(S_FALSE, GetErrorInfo(0, &left));
}

TEST_F(DispatchTest, FailureWithoutExceptionInformationKeepsItsHresult) {
  gateway_.failure = E_OUTOFMEMORY;
  EXPECT_EQ(E_OUTOFMEMORY, Call(202, {Text(user_.Get()), Text(pass_.Get())}));
  IErrorInfo* left = nullptr;
  ASSERT_EQ(S_OK, GetErrorInfo(0, &left));
  left->Release();
}

TEST_F(DispatchTest, ErrorObjectIsIgnoredUnlessTheObjectReportsErrors) {
  gateway_.failure = E_FAIL;
  gateway_.supportsErrorInfo = false;
  EXCEPINFO info{};
  EXPECT_EQ(DISP_E_EXCEPTION,
            Call(202, {Text(user_.Get()), Text(pass_.Get())}, DISPATCH_METHOD, &info));
  EXPECT_EQ(E_FAIL, info.scode);
  EXPECT_EQ(nullptr, info.bstrDescription);
  SetErrorInfo(0, nullptr);
}

TEST(VariantChangeTypeTest, NumbersAndBooleansBecomeText) {
  const auto text = [](VARIANT v, USHORT flags = 0) {
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(S_OK, VariantChangeType(&out, &v, flags, VT_BSTR));
    std::u16string result(BstrView(out.bstrVal));
    VariantClear(&out);
    return result;
  };
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(u"", text(v));
  v.vt = VT_R8;
  for (const auto& [value, expected] : std::vector<std::pair<double, std::u16string>>{
           {0.1, u"0.1"}, {-2.0, u"-2"}, {1e20, u"1E+20"}, {123456789.25, u"123456789.25"}}) {
    v.dblVal = value;
    EXPECT_EQ(expected, text(v));
  }
  v.vt = VT_UI4;
  v.lVal = -1;
  EXPECT_EQ(u"4294967295", text(v));
  v.vt = VT_BOOL;
  v.boolVal = VARIANT_FALSE;
  EXPECT_EQ(u"0", text(v));
  EXPECT_EQ(u"False", text(v, VARIANT_ALPHABOOL));
  v.vt = VT_DISPATCH;
  v.pdispVal = nullptr;
  VARIANT out;
  VariantInit(&out);
  EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&out, &v, 0, VT_BSTR));
}

} // namespace
