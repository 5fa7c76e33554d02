// BSTR allocation: a 32-bit byte length, the UTF-16 units and a terminating
// zero, in one block; the BSTR points at the first unit.
#include <cstdlib>
#include <cstring>

#include "OleAuto.h"

namespace {

using Prefix = uint32_t;

Prefix* PrefixOf(BSTR text) {
  return reinterpret_cast<Prefix*>(text) - 1;
}

UINT Length(const OLECHAR* text) {
  UINT n = 0;
  while (text[n] != 0)
    ++n;
  return n;
}

} // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > (UINT32_MAX - sizeof(Prefix) - sizeof(OLECHAR)) / sizeof(OLECHAR))
    return nullptr;
  const size_t bytes = size_t{length} * sizeof(OLECHAR);
  auto* block = static_cast<Prefix*>(std::malloc(sizeof(Prefix) + bytes + sizeof(OLECHAR)));
  if (block == nullptr)
    return nullptr;
  *block = static_cast<Prefix>(bytes);
  auto* units = reinterpret_cast<OLECHAR*>(block + 1);
  if (text != nullptr)
    std::memcpy(units, text, bytes);
  else
    std::memset(units, 0, bytes);
  units[length] = 0;
  return units;
}

BSTR SysAllocString(const OLECHAR* text) {
  return text == nullptr ? nullptr : SysAllocStringLen(text, Length(text));
}

UINT SysStringByteLen(BSTR text) {
  return text == nullptr ? 0 : *PrefixOf(text);
}

UINT SysStringLen(BSTR text) {
  return SysStringByteLen(text) / sizeof(OLECHAR);
}

void SysFreeString(BSTR text) {
  if (text != nullptr)
    std::free(PrefixOf(text));
}
