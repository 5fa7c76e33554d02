// VariantChangeType to VT_BSTR: the texts that OLE Automation gives numbers
// and booleans, independent of the C locale.
#include <charconv>
#include <optional>
#include <string>

#include "TypeLib.h"

namespace {

std::u16string Widen(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

std::u16string IntegerText(int64_t value) {
  return Widen(std::to_string(value));
}

// Up to `digits` significant digits, without trailing zeros, with an
// exponent ("1E+20") only for very large or small values.
std::u16string RealText(double value, int digits) {
  if (value == 0)
    return u"0";
  char buffer[64];
  const auto end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits).ptr;
  std::string text(buffer, end);
  for (char& c : text) {
    if (c == 'e')
      c = 'E';
  }
  return Widen(text);
}

// The text of a value that is not a reference; nothing for types without one.
std::optional<std::u16string> TextOf(const VARIANTARG& value, USHORT flags) {
  switch (value.vt) {
  case VT_EMPTY:
    return u"";
  case VT_I2:
    return IntegerText(value.iVal);
  case VT_I4:
  case VT_INT:
    return IntegerText(value.lVal);
  case VT_UI1:
    return IntegerText(value.bVal);
  case VT_UI4:
  case VT_UINT:
    return IntegerText(static_cast<uint32_t>(value.lVal));
  case VT_R4:
    return RealText(value.fltVal, 7);
  case VT_R8:
    return RealText(value.dblVal, 15);
  case VT_BOOL:
    if ((flags & VARIANT_ALPHABOOL) != 0)
      return value.boolVal != VARIANT_FALSE ? u"True" : u"False";
    return value.boolVal != VARIANT_FALSE ? u"-1" : u"0";
  default:
    return std::nullopt;
  }
}

} // namespace

HRESULT VariantChangeType(VARIANTARG* target, const VARIANTARG* source, USHORT flags,
                          VARTYPE type) {
  if (target == nullptr || source == nullptr)
    return E_INVALIDARG;
  if (source->vt == (VT_VARIANT | VT_BYREF)) {
    if (source->pvarVal == nullptr)
      return E_INVALIDARG;
    if (source->pvarVal->vt == (VT_VARIANT | VT_BYREF))
      return DISP_E_TYPEMISMATCH;
    return VariantChangeType(target, source->pvarVal, flags, type);
  }
  if (source->vt == type)
    return VariantCopy(target, source);
  if (type != VT_BSTR)
    return DISP_E_TYPEMISMATCH;
  if (source->vt == (VT_BSTR | VT_BYREF) || source->vt == (VT_I4 | VT_BYREF)) {
    if (source->pbstrVal == nullptr)
      return E_INVALIDARG;
    VARIANT value;
    VariantInit(&value);
    value.vt = static_cast<VARTYPE>(source->vt & ~VT_BYREF);
    if (value.vt == VT_BSTR)
      value.bstrVal = *source->pbstrVal;
    else
      value.lVal = *source->plVal;
    return VariantChangeType(target, &value, flags, type);
  }
  const auto text = TextOf(*source, flags);
  if (!text)
    return DISP_E_TYPEMISMATCH;
  VARIANT converted;
  VariantInit(&converted);
  converted.vt = VT_BSTR;
  converted.bstrVal = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
  if (converted.bstrVal == nullptr)
    return E_OUTOFMEMORY;
  VariantClear(target);
  *target = converted;
  return S_OK;
}
