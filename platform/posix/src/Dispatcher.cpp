// The dispatcher behind ITypeInfo::GetIDsOfNames and ITypeInfo::Invoke.
//
// Names compare without regard to ASCII case. Arguments arrive in DISPPARAMS
// last first; named arguments (DISPIDs are parameter positions, as
// GetIDsOfNames gives them) come before the positional ones. Each argument
// becomes its parameter's type as VariantChangeType makes it, after one level
// of VT_VARIANT|VT_BYREF; the method is then called through the function
// table slot that the type information gives (DispCallFunc). The late-bound
// error codes are listed in resources/README.md.
#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "Dispatcher.h"
#include "common/SameText.h"

namespace tellavo::platform {
namespace {

const FuncData* FindFunc(const TypeData& type, MEMBERID id) {
  const auto found = std::find_if(type.funcs.begin(), type.funcs.end(),
                                  [id](const FuncData& func) { return func.id == id; });
  return found == type.funcs.end() ? nullptr : &*found;
}

// A value passed to the method. An input argument is the caller's value
// itself when it has its parameter's type (a BSTR also by reference), else a
// converted copy that the argument owns.
struct Argument {
  VARIANTARG value{};
  bool owned = false;

  Argument() = default;
  Argument(const Argument&) = delete;
  Argument& operator=(const Argument&) = delete;
  ~Argument() {
    if (owned)
      VariantClear(&value);
  }

  VARIANT Detach() {
    owned = false;
    return value;
  }
};

// The type of the VARIANT that carries a parameter's value: the system's
// dispatcher passes and answers VT_INT and VT_UINT as VT_I4 and VT_UI4, of
// the same size.
VARTYPE CarrierType(VARTYPE declared) {
  switch (declared) {
  case VT_INT:
    return VT_I4;
  case VT_UINT:
    return VT_UI4;
  default:
    return declared;
  }
}

HRESULT ConvertArgument(const VARIANTARG& given, VARTYPE type, Argument& argument) {
  const VARIANTARG* value = &given;
  if (value->vt == (VT_VARIANT | VT_BYREF)) {
    value = value->pvarVal;
    if (value == nullptr || value->vt == (VT_VARIANT | VT_BYREF))
      return DISP_E_TYPEMISMATCH;
  }
  // A missing argument, as a caller marks an omitted optional one.
  if (value->vt == VT_ERROR && value->scode == DISP_E_PARAMNOTFOUND)
    return DISP_E_PARAMNOTOPTIONAL;
  if (value->vt == type || (type == VT_VARIANT && (value->vt & VT_BYREF) == 0)) {
    argument.value = *value;
    return S_OK;
  }
  if (type == VT_BSTR && value->vt == (VT_BSTR | VT_BYREF)) {
    if (value->pbstrVal == nullptr)
      return DISP_E_TYPEMISMATCH;
    argument.value.vt = VT_BSTR;
    argument.value.bstrVal = *value->pbstrVal;
    return S_OK;
  }
  VariantInit(&argument.value);
  const HRESULT hr = VariantChangeType(&argument.value, value, 0, type);
  if (FAILED(hr))
    return hr == E_OUTOFMEMORY || hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
  argument.owned = true;
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
  arguments = std::vector<Argument>(inputs);
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
    const HRESULT hr = ConvertArgument(params.rgvarg[element],
                                       CarrierType(func.params[position].vt), arguments[position]);
    if (FAILED(hr))
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

// Calls the method with its converted arguments; on success its result, if
// it has one, goes to *result (which the caller may leave null).
HRESULT CallMethod(const FuncData& func, void* instance, std::vector<Argument>& arguments,
                   VARIANT* result) {
  const size_t count = func.params.size();
  std::vector<VARTYPE> types(count);
  std::vector<VARIANTARG*> values(count);
  for (size_t i = 0; i < arguments.size(); ++i) {
    types[i] = func.params[i].vt;
    values[i] = &arguments[i].value;
  }
  // The [out, retval] pointer points into a VARIANT of the pointee's type
  // (for a VARIANT result, to the VARIANT itself), which owns whatever the
  // method leaves there, even when it fails.
  Argument retvalue;
  Argument retvalueArgument;
  if (func.HasResult()) {
    const VARTYPE pointee = func.params.back().pointee;
    if (pointee != VT_VARIANT)
      retvalue.value.vt = CarrierType(pointee);
    retvalue.owned = true;
    types.back() = static_cast<VARTYPE>(VT_BYREF | pointee);
    retvalueArgument.value.vt = types.back();
    retvalueArgument.value.byref = pointee == VT_VARIANT
                                       ? static_cast<void*>(&retvalue.value)
                                       : static_cast<void*>(&retvalue.value.byref);
    values.back() = &retvalueArgument.value;
  }
  VARIANT returned;
  if (const HRESULT hr =
          DispCallFunc(instance, func.vtableSlot * sizeof(void*), CC_STDCALL, func.result,
                       static_cast<UINT>(count), types.data(), values.data(), &returned);
      FAILED(hr))
    return hr;
  if (func.result == VT_HRESULT && FAILED(returned.lVal))
    return returned.lVal;
  if (result != nullptr && func.HasResult())
    *result = retvalue.Detach();
  return S_OK;
}

} // namespace

HRESULT DispatchIDsOfNames(const TypeData& type, LPOLESTR* names, UINT count, MEMBERID* ids) {
  if (names == nullptr || ids == nullptr || count == 0)
    return E_INVALIDARG;
  std::fill(ids, ids + count, DISPID_UNKNOWN);
  if (names[0] == nullptr)
    return E_INVALIDARG;
  const auto func = std::find_if(type.funcs.begin(), type.funcs.end(), [&](const FuncData& f) {
    return tellavo::SameText(f.name, names[0]);
  });
  if (func == type.funcs.end())
    return DISP_E_UNKNOWNNAME;
  ids[0] = func->id;
  // Further names are parameters; retvalue is not passed by the caller, so it
  // has no position.
  HRESULT hr = S_OK;
  for (UINT i = 1; i < count; ++i) {
    const auto params = std::span(func->params).first(func->InputCount());
    const auto param = names[i] == nullptr
                           ? params.end()
                           : std::find_if(params.begin(), params.end(), [&](const ParamData& p) {
                               return tellavo::SameText(p.name, names[i]);
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
  const HRESULT hr = CallMethod(*func, instance, arguments, result);
  if (FAILED(hr) && excepInfo != nullptr) {
    FillExcepInfo(type, instance, hr, *excepInfo);
    return DISP_E_EXCEPTION;
  }
  return hr;
}

} // namespace tellavo::platform
