// The dispatcher behind ITypeInfo::GetIDsOfNames and ITypeInfo::Invoke.
//
// Names compare without regard to ASCII case. Arguments arrive in DISPPARAMS
// last first; named arguments (DISPIDs are parameter positions, as
// GetIDsOfNames gives them) come before the positional ones. Each argument
// becomes a BSTR as VariantChangeType makes it, after one level of
// VT_VARIANT|VT_BYREF. The late-bound error codes are listed in
// resources/README.md.
#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "Dispatcher.h"
#include "common/Bstr.h"

namespace tellavo::platform {
namespace {

char16_t FoldCase(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool SameName(std::u16string_view name, LPCOLESTR text) {
  const std::u16string_view other(text);
  return name.size() == other.size() &&
         std::equal(name.begin(), name.end(), other.begin(),
                    [](char16_t a, char16_t b) { return FoldCase(a) == FoldCase(b); });
}

const FuncData* FindFunc(const TypeData& type, MEMBERID id) {
  const auto found = std::find_if(type.funcs.begin(), type.funcs.end(),
                                  [id](const FuncData& func) { return func.id == id; });
  return found == type.funcs.end() ? nullptr : &*found;
}

// One input argument: the caller's BSTR when it passed one, else the
// converted text that this argument owns.
struct Argument {
  BSTR value = nullptr;
  BStr converted;
};

HRESULT ConvertArgument(const VARIANTARG& given, Argument& argument) {
  const VARIANTARG* value = &given;
  if (value->vt == (VT_VARIANT | VT_BYREF)) {
    value = value->pvarVal;
    if (value == nullptr || value->vt == (VT_VARIANT | VT_BYREF))
      return DISP_E_TYPEMISMATCH;
  }
  if (value->vt == VT_BSTR) {
    argument.value = value->bstrVal;
    return S_OK;
  }
  if (value->vt == (VT_BSTR | VT_BYREF)) {
    if (value->pbstrVal == nullptr)
      return DISP_E_TYPEMISMATCH;
    argument.value = *value->pbstrVal;
    return S_OK;
  }
  // A missing argument, as a caller marks an omitted optional one.
  if (value->vt == VT_ERROR && value->scode == DISP_E_PARAMNOTFOUND)
    return DISP_E_PARAMNOTOPTIONAL;
  VARIANT text;
  VariantInit(&text);
  const HRESULT hr = VariantChangeType(&text, value, 0, VT_BSTR);
  if (FAILED(hr))
    return hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
  argument.converted = BStr::Attach(text.bstrVal);
  argument.value = argument.converted.Get();
  return S_OK;
}

// Places every argument at its parameter position. On failure *argErr names
// the offending element of rgvarg.
HRESULT CollectArguments(const FuncData& func, const DISPPARAMS& params,
                         std::vector<Argument>& arguments, UINT* argErr) {
  const size_t inputs = func.InputCount();
  if (params.cNamedArgs > params.cArgs ||
      (params.cNamedArgs > 0 && params.rgdispidNamedArgs == nullptr) ||
      (params.cArgs > 0 && params.rgvarg == nullptr))
    return E_INVALIDARG;
  if (params.cArgs != inputs)
    return DISP_E_BADPARAMCOUNT;
  arguments.resize(inputs);
  std::vector<bool> assigned(inputs, false);
  const auto fail = [argErr](HRESULT hr, UINT element) {
    if (argErr != nullptr)
      *argErr = element;
    return hr;
  };
  for (UINT element = 0; element < params.cArgs; ++element) {
    const bool named = element < params.cNamedArgs;
    const DISPID position =
        named ? params.rgdispidNamedArgs[element] : static_cast<DISPID>(params.cArgs - 1 - element);
    if (position < 0 || static_cast<size_t>(position) >= inputs || assigned[position])
      return fail(DISP_E_PARAMNOTFOUND, element);
    assigned[position] = true;
    if (const HRESULT hr = ConvertArgument(params.rgvarg[element], arguments[position]); FAILED(hr))
      return fail(hr, element);
  }
  return S_OK;
}

void FillExcepInfo(const TypeData& type, void* instance, HRESULT failure, EXCEPINFO& info) {
  std::memset(&info, 0, sizeof info);
  info.scode = failure;
  // The thread's error object describes this failure only if the object says
  // that it reports errors for this interface; otherwise it may be stale.
  auto* object = static_cast<IUnknown*>(instance);
  ISupportErrorInfo* support = nullptr;
  if (FAILED(object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support))))
    return;
  const bool supported = support->InterfaceSupportsErrorInfo(type.guid) == S_OK;
  support->Release();
  IErrorInfo* error = nullptr;
  if (!supported || GetErrorInfo(0, &error) != S_OK)
    return;
  error->GetSource(&info.bstrSource);
  error->GetDescription(&info.bstrDescription);
  error->GetHelpFile(&info.bstrHelpFile);
  error->GetHelpContext(&info.dwHelpContext);
  error->Release();
}

} // namespace

HRESULT DispatchIDsOfNames(const TypeData& type, LPOLESTR* names, UINT count, MEMBERID* ids) {
  if (names == nullptr || ids == nullptr || count == 0)
    return E_INVALIDARG;
  std::fill(ids, ids + count, DISPID_UNKNOWN);
  if (names[0] == nullptr)
    return E_INVALIDARG;
  const auto func = std::find_if(type.funcs.begin(), type.funcs.end(),
                                 [&](const FuncData& f) { return SameName(f.name, names[0]); });
  if (func == type.funcs.end())
    return DISP_E_UNKNOWNNAME;
  ids[0] = func->id;
  // Further names are parameters; retvalue is not passed by the caller, so it
  // has no position.
  HRESULT hr = S_OK;
  for (UINT i = 1; i < count; ++i) {
    const auto params = func->params.first(func->InputCount());
    const auto param = names[i] == nullptr
                           ? params.end()
                           : std::find_if(params.begin(), params.end(), [&](const ParamData& p) {
                               return SameName(p.name, names[i]);
                             });
    if (param == params.end())
      hr = DISP_E_UNKNOWNNAME;
    else
      ids[i] = static_cast<MEMBERID>(param - params.begin());
  }
  return hr;
}

HRESULT DispatchInvoke(const TypeData& type, void* instance, MEMBERID id, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  if (instance == nullptr || params == nullptr)
    return E_INVALIDARG;
  if (result != nullptr)
    VariantInit(result);
  const FuncData* func = FindFunc(type, id);
  // Every member is a method: property access finds nothing.
  if (func == nullptr || (flags & DISPATCH_METHOD) == 0 ||
      (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0)
    return DISP_E_MEMBERNOTFOUND;
  std::vector<Argument> arguments;
  if (const HRESULT hr = CollectArguments(*func, *params, arguments, argErr); FAILED(hr))
    return hr;
  std::vector<BSTR> values(arguments.size());
  std::transform(arguments.begin(), arguments.end(), values.begin(),
                 [](const Argument& a) { return a.value; });
  BStr retvalue;
  const HRESULT hr =
      func->call(instance, values.data(), func->HasResult() ? retvalue.Out() : nullptr);
  if (FAILED(hr)) {
    if (excepInfo == nullptr)
      return hr;
    FillExcepInfo(type, instance, hr, *excepInfo);
    return DISP_E_EXCEPTION;
  }
  if (result != nullptr && func->HasResult()) {
    result->vt = VT_BSTR;
    result->bstrVal = retvalue.Detach();
  }
  return S_OK;
}

} // namespace tellavo::platform
