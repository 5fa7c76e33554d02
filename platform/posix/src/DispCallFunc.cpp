// DispCallFunc on libffi: the call that late binding makes through an
// interface's function table, built from the parameter types of the type
// information instead of a compiled signature.
#include <cstring>
#include <ffi.h>
#include <vector>

#include "TypeLib.h"

namespace {

// A VARIANT by value: two eightbytes of integer class on x86_64, which is
// how the C++ compiler passes and returns the struct.
static_assert(sizeof(VARIANT) == 2 * sizeof(uint64_t));
ffi_type* variantElements[]{&ffi_type_uint64, &ffi_type_uint64, nullptr};
// Size and alignment are given, so libffi never writes to this shared type.
ffi_type variantType{sizeof(VARIANT), alignof(VARIANT), FFI_TYPE_STRUCT, variantElements};

// The libffi type of a value of the given VARTYPE; null when unsupported.
ffi_type* FfiType(VARTYPE vt) {
  if ((vt & VT_BYREF) != 0)
    return &ffi_type_pointer;
  switch (vt) {
  case VT_EMPTY:
  case VT_VOID:
    return &ffi_type_void;
  case VT_UI1:
    return &ffi_type_uint8;
  case VT_I2:
  case VT_BOOL:
    return &ffi_type_sint16;
  case VT_I4:
  case VT_INT:
  case VT_ERROR:
  case VT_HRESULT:
    return &ffi_type_sint32;
  case VT_UI4:
  case VT_UINT:
    return &ffi_type_uint32;
  case VT_R4:
    return &ffi_type_float;
  case VT_R8:
    return &ffi_type_double;
  case VT_BSTR:
  case VT_DISPATCH:
  case VT_UNKNOWN:
  case VT_PTR:
    return &ffi_type_pointer;
  case VT_VARIANT:
    return &variantType;
  default:
    return nullptr;
  }
}

// Where libffi reads an argument of type vt: the VARIANT itself for a
// VARIANT, else the start of its union, where every member begins.
void* ValueAddress(VARIANTARG* argument, VARTYPE vt) {
  return vt == VT_VARIANT ? static_cast<void*>(argument) : static_cast<void*>(&argument->byref);
}

// Stores an integer result, which libffi widens to a full register; false
// for the other types.
bool StoreInteger(VARIANT& result, VARTYPE vt, ffi_arg raw) {
  switch (vt) {
  case VT_UI1:
    result.bVal = static_cast<BYTE>(raw);
    return true;
  case VT_I2:
  case VT_BOOL:
    result.iVal = static_cast<SHORT>(raw);
    return true;
  case VT_I4:
  case VT_INT:
  case VT_ERROR:
  case VT_HRESULT:
  case VT_UI4:
  case VT_UINT:
    result.lVal = static_cast<LONG>(raw);
    return true;
  default:
    return false;
  }
}

} // namespace

HRESULT DispCallFunc(void* instance, ULONG_PTR offset, CALLCONV callConv, VARTYPE resultType,
                     UINT count, VARTYPE* types, VARIANTARG** arguments, VARIANT* result) {
  if ((count > 0 && (types == nullptr || arguments == nullptr)) || result == nullptr)
    return E_INVALIDARG;
  // One convention serves both on this platform.
  if (callConv != CC_STDCALL && callConv != CC_CDECL)
    return E_INVALIDARG;
  ffi_type* returned = (resultType & VT_BYREF) != 0 ? nullptr : FfiType(resultType);
  if (returned == nullptr)
    return DISP_E_BADVARTYPE;
  const UINT self = instance != nullptr ? 1 : 0;
  std::vector<ffi_type*> ffiTypes(self + count);
  std::vector<void*> values(self + count);
  if (self != 0) {
    ffiTypes[0] = &ffi_type_pointer;
    values[0] = &instance;
  }
  for (UINT i = 0; i < count; ++i) {
    ffi_type* type = FfiType(types[i]);
    if (type == nullptr || type == &ffi_type_void)
      return DISP_E_BADVARTYPE;
    if (arguments[i] == nullptr)
      return E_INVALIDARG;
    ffiTypes[self + i] = type;
    values[self + i] = ValueAddress(arguments[i], types[i]);
  }
  ffi_cif cif;
  if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, self + count, returned, ffiTypes.data()) != FFI_OK)
    return E_INVALIDARG;
  void* function = instance != nullptr ? (*static_cast<void***>(instance))[offset / sizeof(void*)]
                                       : reinterpret_cast<void*>(offset);
  VariantInit(result);
  union {
    ffi_arg raw;
    VARIANT variant;
  } storage{};
  ffi_call(&cif, reinterpret_cast<void (*)()>(function), &storage, values.data());
  if (resultType == VT_VARIANT) {
    *result = storage.variant;
    return S_OK;
  }
  if (returned != &ffi_type_void && !StoreInteger(*result, resultType, storage.raw))
    std::memcpy(&result->byref, &storage, returned->size);
  result->vt = resultType == VT_VOID ? VARTYPE{VT_EMPTY} : resultType;
  return S_OK;
}
