#include "server/ComObject.h"

#include <memory>
#include <optional>

#include "server/ComServer.h"

namespace tellavo::server {

namespace {

// A type information's attribute block and function descriptions, handed
// back when they go.
struct TypeAttrReturn {
  ITypeInfo* info;
  void operator()(TYPEATTR* attributes) const { info->ReleaseTypeAttr(attributes); }
};
struct FuncDescReturn {
  ITypeInfo* info;
  void operator()(FUNCDESC* function) const { info->ReleaseFuncDesc(function); }
};

// How many arguments the method `dispId` takes from its caller: its
// parameters less the return value and the locale. Nothing when the member is
// not a method that the type information describes.
std::optional<UINT> MethodArguments(ITypeInfo* info, DISPID dispId) {
  TYPEATTR* rawAttributes = nullptr;
  if (FAILED(info->GetTypeAttr(&rawAttributes)))
    return std::nullopt;
  const std::unique_ptr<TYPEATTR, TypeAttrReturn> attributes(rawAttributes, {info});
  for (UINT index = 0; index < attributes->cFuncs; ++index) {
    FUNCDESC* rawFunction = nullptr;
    if (FAILED(info->GetFuncDesc(index, &rawFunction)))
      continue;
    const std::unique_ptr<FUNCDESC, FuncDescReturn> function(rawFunction, {info});
    if (function->memid != dispId || function->invkind != INVOKE_FUNC)
      continue;
    UINT count = 0;
    for (SHORT p = 0; p < function->cParams; ++p)
      if ((function->lprgelemdescParam[p].paramdesc.wParamFlags &
           (PARAMFLAG_FRETVAL | PARAMFLAG_FLCID)) == 0)
        ++count;
    return count;
  }
  return std::nullopt;
}

// Hands out an interface with one reference added.
HRESULT ShareTypeInfo(ITypeInfo* source, ITypeInfo** target) {
  *target = source;
  if (source != nullptr)
    source->AddRef();
  return S_OK;
}

} // namespace

TComObject::TComObject(TComObjectFactory& factory, IUnknown* controller)
    : controller_(controller), factory_(factory) {
  factory_.ComServer().CountObject(true);
}

TComObject::~TComObject() {
  if (!IsUninitializing())
    factory_.ComServer().CountObject(false);
}

HRESULT TComObject::InterfaceSupportsErrorInfo(REFIID iid) {
  return FindInterface(iid) != nullptr ? S_OK : S_FALSE;
}

HRESULT TComObject::InnerQuery(REFIID iid, void** object) {
  if (object == nullptr)
    return E_POINTER;
  IUnknown* found = FindInterface(iid);
  *object = found;
  if (found == nullptr)
    return E_NOINTERFACE;
  // Through any interface but the inner unknown this reaches the controller
  // of an aggregated object.
  found->AddRef();
  return S_OK;
}

ULONG TComObject::InnerAddRef() {
  return static_cast<ULONG>(++refCount_);
}

ULONG TComObject::InnerRelease() {
  const LONG count = --refCount_;
  if (count == 0)
    delete this;
  return static_cast<ULONG>(count);
}

bool TComObject::Implements(REFIID iid) {
  return IsEqualGUID(iid, IID_ISupportErrorInfo) || IsEqualGUID(iid, IID_IUnknown);
}

IUnknown* TComObject::FindInterface(REFIID iid) {
  if (IsEqualGUID(iid, IID_ISupportErrorInfo))
    return static_cast<ISupportErrorInfo*>(this);
  if (IsEqualGUID(iid, IID_IUnknown))
    return &inner_;
  return nullptr;
}

HRESULT TComObject::DelegatingQueryInterface(REFIID iid, void** object) {
  return controller_ != nullptr ? controller_->QueryInterface(iid, object)
                                : InnerQuery(iid, object);
}

ULONG TComObject::DelegatingAddRef() {
  return controller_ != nullptr ? controller_->AddRef() : InnerAddRef();
}

ULONG TComObject::DelegatingRelease() {
  return controller_ != nullptr ? controller_->Release() : InnerRelease();
}

HRESULT TTypedComObject::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr)
    return E_POINTER;
  return ShareTypeInfo(TypedFactory().ClassInfo(), info);
}

bool TTypedComObject::Implements(REFIID iid) {
  return IsEqualGUID(iid, IID_IProvideClassInfo) || TComObject::Implements(iid);
}

IUnknown* TTypedComObject::FindInterface(REFIID iid) {
  if (IsEqualGUID(iid, IID_IProvideClassInfo))
    return static_cast<IProvideClassInfo*>(this);
  return TComObject::FindInterface(iid);
}

HRESULT DispatchTypeInfoCount(UINT* count) {
  if (count == nullptr)
    return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT DispatchTypeInfo(const TAutoObjectFactory& factory, UINT index, ITypeInfo** info) {
  if (info == nullptr)
    return E_POINTER;
  *info = nullptr;
  if (index != 0)
    return DISP_E_BADINDEX;
  return ShareTypeInfo(factory.DispTypeInfo(), info);
}

HRESULT DispatchIDsOfNames(const TAutoObjectFactory& factory, LPOLESTR* names, UINT count,
                           DISPID* dispIds) {
  return DispGetIDsOfNames(factory.DispTypeInfo(), names, count, dispIds);
}

HRESULT DispatchInvoke(const TAutoObjectFactory& factory, void* instance, DISPID dispId, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  // A property put is offered as both kinds of put; the type information
  // decides which one the member accepts.
  constexpr WORD kAnyPut = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
  if ((flags & kAnyPut) != 0)
    flags = kAnyPut;
  ITypeInfo* info = factory.DispTypeInfo();
  // Surplus arguments are refused, as the type information promises; not
  // every implementation of its Invoke checks that the count fits.
  if (params != nullptr && (flags & DISPATCH_METHOD) != 0) {
    const std::optional<UINT> expected = MethodArguments(info, dispId);
    if (expected && params->cArgs > *expected)
      return DISP_E_BADPARAMCOUNT;
  }
  return info->Invoke(instance, dispId, flags, params, result, excepInfo, argErr);
}

} // namespace tellavo::server
