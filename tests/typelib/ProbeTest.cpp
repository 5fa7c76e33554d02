// Late binding through a type library that the test program carries as a
// module does: the probe implements IProbe and answers IDispatch with the
// type information alone, so each call goes through the function table slot
// and the parameter types that the library declares. Every automation type
// a parameter can have is passed and returned, converted from what the
// caller gives, and many arguments of mixed types keep their order.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Platform.h"
#include "common/Bstr.h"
#include "common/ComPtr.h"
#include "common/Utf.h"
#include "common/Variant.h"
#include "common/WideText.h"
#include "typelib/Probe_TLB.h"

using namespace tellavo;

namespace {

std::u16string ModulePath() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ModulePath), &module);
  WCHAR path[4096];
  const DWORD n = GetModuleFileNameW(module, path, 4096);
  return FromWide(path, n);
}

// Echoes each argument; mix() writes all of its arguments as text.
class Probe final : public IProbe {
public:
  explicit Probe(ITypeInfo* info) : info_(info) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch) ||
        IsEqualGUID(riid, IID_IProbe)) {
      *object = static_cast<IProbe*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // Lives on the test's stack.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    *info = info_;
    info_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    return DispGetIDsOfNames(info_, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override {
    return DispInvoke(static_cast<IProbe*>(this), info_, id, flags, params, result, excepInfo,
                      argErr);
  }

  HRESULT STDMETHODCALLTYPE echoShort(SHORT value, SHORT* result) override {
    return Echo(value, result);
  }
  HRESULT STDMETHODCALLTYPE echoLong(LONG value, LONG* result) override {
    return Echo(value, result);
  }
  HRESULT STDMETHODCALLTYPE echoFloat(float value, float* result) override {
    return Echo(value, result);
  }
  HRESULT STDMETHODCALLTYPE echoDouble(double value, double* result) override {
    return Echo(value, result);
  }
  HRESULT STDMETHODCALLTYPE echoText(BSTR value, BSTR* result) override {
    ++calls;
    *result = SysAllocStringLen(value, SysStringLen(value));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE echoDispatch(IDispatch* value, IDispatch** result) override {
    return EchoInterface(value, result);
  }
  HRESULT STDMETHODCALLTYPE echoCode(SCODE value, SCODE* result) override {
    return Echo(value, result);
  }
  HRESULT STDMETHODCALLTYPE echoBool(VARIANT_BOOL value, VARIANT_BOOL* result) override {
    return Echo(value, result);
  }
  HRESULT STDMETHODCALLTYPE echoVariant(VARIANT value, VARIANT* result) override {
    ++calls;
    VariantInit(result);
    return VariantCopy(result, &value);
  }
  HRESULT STDMETHODCALLTYPE echoUnknown(IUnknown* value, IUnknown** result) override {
    return EchoInterface(value, result);
  }
  HRESULT STDMETHODCALLTYPE echoByte(BYTE value, BYTE* result) override {
    return Echo(value, result);
  }
  HRESULT STDMETHODCALLTYPE echoULong(ULONG value, ULONG* result) override {
    return Echo(value, result);
  }
  HRESULT STDMETHODCALLTYPE echoInt(INT value, INT* result) override { return Echo(value, result); }
  HRESULT STDMETHODCALLTYPE echoUInt(UINT value, UINT* result) override {
    return Echo(value, result);
  }
  HRESULT STDMETHODCALLTYPE mix(double a, SHORT b, float c, LONG d, double e, BYTE f, double g,
                                BSTR h, double i, INT j, double k, VARIANT l, double m, float n,
                                double o, LONG p, BSTR* result) override {
    ++calls;
    const std::string text = Real(a) + " " + std::to_string(b) + " " + Real(c) + " " +
                             std::to_string(d) + " " + Real(e) + " " + std::to_string(f) + " " +
                             Real(g) + " " + Utf16ToUtf8(BstrView(h)) + " " + Real(i) + " " +
                             std::to_string(j) + " " + Real(k) + " " + std::to_string(l.vt) + ":" +
                             std::to_string(l.lVal) + " " + Real(m) + " " + Real(n) + " " +
                             Real(o) + " " + std::to_string(p);
    const std::u16string wide = Utf8ToUtf16(text);
    *result = SysAllocStringLen(Wide(wide.data()), static_cast<UINT>(wide.size()));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE touch() override {
    ++calls;
    return S_OK;
  }

  int calls = 0;

private:
  static std::string Real(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
  }
  template <class T> HRESULT Echo(T value, T* result) {
    ++calls;
    *result = value;
    return S_OK;
  }
  template <class T> HRESULT EchoInterface(T* value, T** result) {
    ++calls;
    *result = value;
    if (value != nullptr)
      value->AddRef();
    return S_OK;
  }

  ITypeInfo* info_;
};

VARIANT Value(VARTYPE vt) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  return v;
}

class ProbeTest : public ::testing::Test {
protected:
  void SetUp() override {
    const std::u16string path = ModulePath();
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(S_OK, LoadTypeLibEx(Wide(path), REGKIND_NONE, lib.Out()));
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(IID_IProbe, info_.Out()));
    probe_.emplace(info_.Get());
  }

  // Calls a method by name, the arguments given in call order.
  HRESULT Call(const char16_t* name, std::vector<VARIANT> inOrder) {
    LPOLESTR names[1] = {const_cast<LPOLESTR>(Wide(name))};
    DISPID id = DISPID_UNKNOWN;
    if (const HRESULT hr = probe_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        FAILED(hr))
      return hr;
    std::vector<VARIANT> reversed(inOrder.rbegin(), inOrder.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    UINT argErr = 0;
    return probe_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                          result_.Out(), nullptr, &argErr);
  }

  ComPtr<ITypeInfo> info_;
  std::optional<Probe> probe_;
  OwnedVariant result_;
};

TEST_F(ProbeTest, EveryParameterTypeGoesInAndComesBack) {
  BStr text(u"Merhaba dünya");
  VARIANT shortValue = Value(VT_I2), longValue = Value(VT_I4), floatValue = Value(VT_R4),
          doubleValue = Value(VT_R8), textValue = Value(VT_BSTR), dispatch = Value(VT_DISPATCH),
          code = Value(VT_ERROR), boolean = Value(VT_BOOL), unknown = Value(VT_UNKNOWN),
          byteValue = Value(VT_UI1), ulongValue = Value(VT_UI4), intValue = Value(VT_INT),
          uintValue = Value(VT_UINT);
  shortValue.iVal = -12345;
  longValue.lVal = -2000000001;
  floatValue.fltVal = 1.5f;
  doubleValue.dblVal = -2.75e300;
  textValue.bstrVal = text.Get();
  dispatch.pdispVal = &*probe_;
  code.scode = E_FAIL;
  boolean.boolVal = VARIANT_TRUE;
  unknown.punkVal = &*probe_;
  byteValue.bVal = 200;
  ulongValue.ulVal = 4000000000u;
  intValue.intVal = -7;
  uintValue.uintVal = 3000000000u;

  ASSERT_EQ(S_OK, Call(u"echoShort", {shortValue}));
  EXPECT_EQ(VT_I2, result_->vt);
  EXPECT_EQ(-12345, result_->iVal);
  ASSERT_EQ(S_OK, Call(u"echoLong", {longValue}));
  EXPECT_EQ(VT_I4, result_->vt);
  EXPECT_EQ(-2000000001, result_->lVal);
  ASSERT_EQ(S_OK, Call(u"echoFloat", {floatValue}));
  EXPECT_EQ(VT_R4, result_->vt);
  EXPECT_EQ(1.5f, result_->fltVal);
  ASSERT_EQ(S_OK, Call(u"echoDouble", {doubleValue}));
  EXPECT_EQ(VT_R8, result_->vt);
  EXPECT_EQ(-2.75e300, result_->dblVal);
  ASSERT_EQ(S_OK, Call(u"echoText", {textValue}));
  EXPECT_EQ(VT_BSTR, result_->vt);
  EXPECT_EQ(u"Merhaba dünya", BstrView(result_->bstrVal));
  ASSERT_EQ(S_OK, Call(u"echoDispatch", {dispatch}));
  EXPECT_EQ(VT_DISPATCH, result_->vt);
  EXPECT_EQ(static_cast<IDispatch*>(&*probe_), result_->pdispVal);
  ASSERT_EQ(S_OK, Call(u"echoCode", {code}));
  EXPECT_EQ(VT_ERROR, result_->vt);
  EXPECT_EQ(E_FAIL, result_->scode);
  ASSERT_EQ(S_OK, Call(u"echoBool", {boolean}));
  EXPECT_EQ(VT_BOOL, result_->vt);
  EXPECT_EQ(VARIANT_TRUE, result_->boolVal);
  ASSERT_EQ(S_OK, Call(u"echoVariant", {doubleValue}));
  EXPECT_EQ(VT_R8, result_->vt);
  EXPECT_EQ(-2.75e300, result_->dblVal);
  ASSERT_EQ(S_OK, Call(u"echoUnknown", {unknown}));
  EXPECT_EQ(VT_UNKNOWN, result_->vt);
  EXPECT_EQ(static_cast<IUnknown*>(&*probe_), result_->punkVal);
  ASSERT_EQ(S_OK, Call(u"echoByte", {byteValue}));
  EXPECT_EQ(VT_UI1, result_->vt);
  EXPECT_EQ(200, result_->bVal);
  ASSERT_EQ(S_OK, Call(u"echoULong", {ulongValue}));
  EXPECT_EQ(VT_UI4, result_->vt);
  EXPECT_EQ(4000000000u, result_->ulVal);
  // The system answers int and unsigned int as their four-byte types.
  ASSERT_EQ(S_OK, Call(u"echoInt", {intValue}));
  EXPECT_EQ(VT_I4, result_->vt);
  EXPECT_EQ(-7, result_->lVal);
  ASSERT_EQ(S_OK, Call(u"echoUInt", {uintValue}));
  EXPECT_EQ(VT_UI4, result_->vt);
  EXPECT_EQ(3000000000u, result_->ulVal);
  ASSERT_EQ(S_OK, Call(u"touch", {}));
  EXPECT_EQ(VT_EMPTY, result_->vt);
  EXPECT_EQ(15, probe_->calls);
}

TEST_F(ProbeTest, ArgumentsBecomeTheDeclaredTypes) {
  BStr number(u" 123 "), truth(u"True"), real(u"2.5");
  VARIANT text = Value(VT_BSTR), half = Value(VT_R8), boolean = Value(VT_BOOL), big = Value(VT_I4),
          byReference = Value(VT_I2 | VT_BYREF);
  SHORT referenced = -3;
  byReference.piVal = &referenced;
  text.bstrVal = number.Get();
  ASSERT_EQ(S_OK, Call(u"echoShort", {text}));
  EXPECT_EQ(VT_I2, result_->vt);
  EXPECT_EQ(123, result_->iVal);
  text.bstrVal = truth.Get();
  ASSERT_EQ(S_OK, Call(u"echoBool", {text}));
  EXPECT_EQ(VARIANT_TRUE, result_->boolVal);
  text.bstrVal = real.Get();
  ASSERT_EQ(S_OK, Call(u"echoFloat", {text}));
  EXPECT_EQ(2.5f, result_->fltVal);
  // Reals round half to even into integers.
  half.dblVal = 2.5;
  ASSERT_EQ(S_OK, Call(u"echoLong", {half}));
  EXPECT_EQ(2, result_->lVal);
  half.dblVal = 3.5;
  ASSERT_EQ(S_OK, Call(u"echoInt", {half}));
  EXPECT_EQ(4, result_->lVal);
  boolean.boolVal = VARIANT_TRUE;
  ASSERT_EQ(S_OK, Call(u"echoDouble", {boolean}));
  EXPECT_EQ(-1.0, result_->dblVal);
  ASSERT_EQ(S_OK, Call(u"echoText", {byReference}));
  EXPECT_EQ(u"-3", BstrView(result_->bstrVal));
  // A VARIANT parameter takes the value that a reference points to.
  ASSERT_EQ(S_OK, Call(u"echoVariant", {byReference}));
  EXPECT_EQ(VT_I2, result_->vt);
  EXPECT_EQ(-3, result_->iVal);
  // A value beyond the parameter's range, and one of no number.
  big.lVal = 70000;
  EXPECT_EQ(DISP_E_OVERFLOW, Call(u"echoShort", {big}));
  big.lVal = -1;
  EXPECT_EQ(DISP_E_OVERFLOW, Call(u"echoByte", {big}));
  text.bstrVal = number.Get();
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(u"echoDispatch", {text}));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(u"echoCode", {half}));
  EXPECT_EQ(8, probe_->calls);
}

TEST_F(ProbeTest, ManyArgumentsOfMixedTypesKeepTheirOrder) {
  BStr name(u"h");
  std::vector<VARIANT> arguments;
  const auto add = [&](VARTYPE vt, auto set) {
    VARIANT v = Value(vt);
    set(v);
    arguments.push_back(v);
  };
  add(VT_R8, [](VARIANT& v) { v.dblVal = 1.25; });
  add(VT_I2, [](VARIANT& v) { v.iVal = -2; });
  add(VT_R4, [](VARIANT& v) { v.fltVal = 3.5f; });
  add(VT_I4, [](VARIANT& v) { v.lVal = 4; });
  add(VT_R8, [](VARIANT& v) { v.dblVal = 5.5; });
  add(VT_UI1, [](VARIANT& v) { v.bVal = 6; });
  add(VT_R8, [](VARIANT& v) { v.dblVal = 7.5; });
  add(VT_BSTR, [&](VARIANT& v) { v.bstrVal = name.Get(); });
  add(VT_R8, [](VARIANT& v) { v.dblVal = 9.5; });
  add(VT_INT, [](VARIANT& v) { v.intVal = -10; });
  add(VT_R8, [](VARIANT& v) { v.dblVal = 11.5; });
  add(VT_I4, [](VARIANT& v) { v.lVal = 12; });
  add(VT_R8, [](VARIANT& v) { v.dblVal = 13.5; });
  add(VT_R4, [](VARIANT& v) { v.fltVal = 14.5f; });
  add(VT_R8, [](VARIANT& v) { v.dblVal = 15.5; });
  add(VT_I4, [](VARIANT& v) { v.lVal = -16; });
  ASSERT_EQ(S_OK, Call(u"mix", arguments));
  EXPECT_EQ("1.25 -2 3.5 4 5.5 6 7.5 h 9.5 -10 11.5 3:12 13.5 14.5 15.5 -16",
            Utf16ToUtf8(BstrView(result_->bstrVal)));
}

} // namespace
