#include "OleAuto.h"

void VariantInit(VARIANTARG* value) {
  value->vt = VT_EMPTY;
  value->wReserved1 = value->wReserved2 = value->wReserved3 = 0;
  value->dblVal = 0;
}

HRESULT VariantClear(VARIANTARG* value) {
  if (value == nullptr)
    return E_INVALIDARG;
  switch (value->vt) {
  case VT_BSTR:
    SysFreeString(value->bstrVal);
    break;
  case VT_UNKNOWN:
  case VT_DISPATCH:
    if (value->punkVal != nullptr)
      value->punkVal->Release();
    break;
  default:
    break;
  }
  VariantInit(value);
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* target, const VARIANTARG* source) {
  if (target == nullptr || source == nullptr)
    return E_INVALIDARG;
  if (target == source)
    return S_OK;
  VariantClear(target);
  *target = *source;
  switch (source->vt) {
  case VT_BSTR:
    if (source->bstrVal != nullptr) {
      target->bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
      if (target->bstrVal == nullptr) {
        VariantInit(target);
        return E_OUTOFMEMORY;
      }
    }
    break;
  case VT_UNKNOWN:
  case VT_DISPATCH:
    if (source->punkVal != nullptr)
      source->punkVal->AddRef();
    break;
  default:
    break;
  }
  return S_OK;
}
