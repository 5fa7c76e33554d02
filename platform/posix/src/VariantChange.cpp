// VariantChangeType: the conversions between the automation types that late
// binding needs, with the texts and rounding of OLE Automation, independent of
// the C locale.
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <variant>

#include "TypeLib.h"
#include "common/SameText.h"

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

// A number held in text, with blanks around it; "True" and "False" too when
// the target is a boolean.
std::optional<double> NumberOfText(BSTR value, bool boolean) {
  std::u16string_view text(value == nullptr ? u"" : value, SysStringLen(value));
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t'))
    text.remove_suffix(1);
  if (boolean && tellavo::SameText(text, u"True"))
    return -1.0;
  if (boolean && tellavo::SameText(text, u"False"))
    return 0.0;
  std::string ascii;
  for (char16_t c : text) {
    if (c > 0x7F)
      return std::nullopt;
    ascii.push_back(static_cast<char>(c));
  }
  if (!ascii.empty() && ascii.front() == '+')
    ascii.erase(0, 1);
  double number = 0;
  const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), number);
  if (ascii.empty() || error != std::errc() || end != ascii.data() + ascii.size())
    return std::nullopt;
  return number;
}

// The number a value stands for: exact as an integer, or a real.
using Number = std::variant<int64_t, double>;

std::optional<Number> NumberOf(const VARIANTARG& value, VARTYPE target) {
  switch (value.vt) {
  case VT_EMPTY:
    return int64_t{0};
  case VT_I2:
    return int64_t{value.iVal};
  case VT_I4:
  case VT_INT:
    return int64_t{value.lVal};
  case VT_UI1:
    return int64_t{value.bVal};
  case VT_UI4:
  case VT_UINT:
    return int64_t{static_cast<uint32_t>(value.lVal)};
  case VT_BOOL:
    return int64_t{value.boolVal != VARIANT_FALSE ? -1 : 0};
  case VT_R4:
    return double{value.fltVal};
  case VT_R8:
    return value.dblVal;
  case VT_BSTR:
    if (const auto number = NumberOfText(value.bstrVal, target == VT_BOOL))
      return *number;
    return std::nullopt;
  default:
    return std::nullopt;
  }
}

template <class T> HRESULT ToInteger(const Number& number, T& target) {
  double value = 0;
  if (const auto* integer = std::get_if<int64_t>(&number)) {
    value = static_cast<double>(*integer);
  } else {
    // OLE Automation rounds half to even, as nearbyint does by default.
    value = std::nearbyint(std::get<double>(number));
  }
  if (std::isnan(value) || value < static_cast<double>(std::numeric_limits<T>::min()) ||
      value > static_cast<double>(std::numeric_limits<T>::max()))
    return DISP_E_OVERFLOW;
  target = static_cast<T>(value);
  return S_OK;
}

double RealOf(const Number& number) {
  if (const auto* integer = std::get_if<int64_t>(&number))
    return static_cast<double>(*integer);
  return std::get<double>(number);
}

// Converts to a number, a boolean or a real; the source holds no reference.
HRESULT ChangeNumber(VARIANT& converted, const VARIANTARG& source, VARTYPE type) {
  const auto number = NumberOf(source, type);
  if (!number)
    return DISP_E_TYPEMISMATCH;
  converted.vt = type;
  switch (type) {
  case VT_I2:
    return ToInteger(*number, converted.iVal);
  case VT_I4:
  case VT_INT:
    return ToInteger(*number, converted.lVal);
  case VT_UI1:
    return ToInteger(*number, converted.bVal);
  case VT_UI4:
  case VT_UINT: {
    ULONG value = 0;
    const HRESULT hr = ToInteger(*number, value);
    converted.lVal = static_cast<LONG>(value);
    return hr;
  }
  case VT_BOOL:
    converted.boolVal = RealOf(*number) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  case VT_R4: {
    const double value = RealOf(*number);
    if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
      return DISP_E_OVERFLOW;
    converted.fltVal = static_cast<float>(value);
    return S_OK;
  }
  case VT_R8:
    converted.dblVal = RealOf(*number);
    return S_OK;
  default:
    return DISP_E_TYPEMISMATCH;
  }
}

HRESULT ChangeText(VARIANT& converted, const VARIANTARG& source, USHORT flags) {
  const auto text = TextOf(source, flags);
  if (!text)
    return DISP_E_TYPEMISMATCH;
  converted.vt = VT_BSTR;
  converted.bstrVal = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
  return converted.bstrVal == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT ChangeInterface(VARIANT& converted, const VARIANTARG& source, VARTYPE type) {
  if (source.vt != VT_UNKNOWN && source.vt != VT_DISPATCH)
    return DISP_E_TYPEMISMATCH;
  converted.vt = type;
  converted.punkVal = nullptr;
  if (source.punkVal == nullptr)
    return S_OK;
  if (type == VT_UNKNOWN) {
    converted.punkVal = source.punkVal;
    converted.punkVal->AddRef();
    return S_OK;
  }
  void* dispatch = nullptr;
  if (FAILED(source.punkVal->QueryInterface(IID_IDispatch, &dispatch)))
    return DISP_E_TYPEMISMATCH;
  converted.pdispVal = static_cast<IDispatch*>(dispatch);
  return S_OK;
}

// The size of the value a reference of type vt|VT_BYREF points to; 0 for
// the types without a by-reference form here.
size_t ReferencedSize(VARTYPE vt) {
  switch (vt) {
  case VT_UI1:
    return sizeof(BYTE);
  case VT_I2:
  case VT_BOOL:
    return sizeof(SHORT);
  case VT_I4:
  case VT_INT:
  case VT_UI4:
  case VT_UINT:
  case VT_ERROR:
  case VT_R4:
    return sizeof(LONG);
  case VT_R8:
    return sizeof(double);
  case VT_BSTR:
  case VT_UNKNOWN:
  case VT_DISPATCH:
    return sizeof(void*);
  default:
    return 0;
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
  if ((source->vt & VT_BYREF) != 0) {
    const VARTYPE referenced = static_cast<VARTYPE>(source->vt & ~VT_BYREF);
    const size_t size = ReferencedSize(referenced);
    if (size == 0)
      return DISP_E_TYPEMISMATCH;
    if (source->byref == nullptr)
      return E_INVALIDARG;
    VARIANT value;
    VariantInit(&value);
    value.vt = referenced;
    std::memcpy(&value.byref, source->byref, size);
    return VariantChangeType(target, &value, flags, type);
  }
  if (source->vt == type || type == VT_VARIANT)
    return VariantCopy(target, source);
  VARIANT converted;
  VariantInit(&converted);
  HRESULT hr = DISP_E_TYPEMISMATCH;
  switch (type) {
  case VT_BSTR:
    hr = ChangeText(converted, *source, flags);
    break;
  case VT_UNKNOWN:
  case VT_DISPATCH:
    hr = ChangeInterface(converted, *source, type);
    break;
  default:
    hr = ChangeNumber(converted, *source, type);
    break;
  }
  if (FAILED(hr))
    return hr;
  VariantClear(target);
  *target = converted;
  return S_OK;
}
