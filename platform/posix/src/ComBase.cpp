// COM library services: task memory, the text form of GUIDs and external
// locks.
#include <cstdio>
#include <cstdlib>

#include "ComBase.h"

namespace {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and its terminating zero.
constexpr int GuidTextSize = 39;

int HexValue(OLECHAR c) {
  if (c >= u'0' && c <= u'9')
    return c - u'0';
  if (c >= u'A' && c <= u'F')
    return c - u'A' + 10;
  if (c >= u'a' && c <= u'f')
    return c - u'a' + 10;
  return -1;
}

// Reads `digits` hexadecimal digits at text[at]; false if one is missing.
bool ReadHex(LPCOLESTR text, int at, int digits, uint32_t& value) {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const int digit = HexValue(text[at + i]);
    if (digit < 0)
      return false;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return true;
}

} // namespace

LPVOID CoTaskMemAlloc(SIZE_T size) {
  return std::malloc(size == 0 ? 1 : size);
}

void CoTaskMemFree(LPVOID block) {
  std::free(block);
}

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size) {
  if (buffer == nullptr || size < GuidTextSize)
    return 0;
  char text[GuidTextSize];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1,
                guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
                guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  for (int i = 0; i < GuidTextSize; ++i)
    buffer[i] = static_cast<OLECHAR>(text[i]);
  return GuidTextSize;
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) {
  if (text == nullptr)
    return E_INVALIDARG;
  *text = static_cast<LPOLESTR>(CoTaskMemAlloc(GuidTextSize * sizeof(OLECHAR)));
  if (*text == nullptr)
    return E_OUTOFMEMORY;
  StringFromGUID2(clsid, *text, GuidTextSize);
  return S_OK;
}

HRESULT StringFromIID(REFIID iid, LPOLESTR* text) {
  return StringFromCLSID(iid, text);
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
  if (text == nullptr || clsid == nullptr)
    return E_INVALIDARG;
  for (int i = 0; i < GuidTextSize - 1; ++i) {
    if (text[i] == 0)
      return CO_E_CLASSSTRING;
  }
  uint32_t data1 = 0, data2 = 0, data3 = 0;
  bool valid = text[0] == u'{' && text[9] == u'-' && text[14] == u'-' && text[19] == u'-' &&
               text[24] == u'-' && text[37] == u'}' && text[38] == 0 &&
               ReadHex(text, 1, 8, data1) && ReadHex(text, 10, 4, data2) &&
               ReadHex(text, 15, 4, data3);
  GUID guid{data1, static_cast<uint16_t>(data2), static_cast<uint16_t>(data3), {}};
  constexpr int bytePositions[8]{20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; valid && i < 8; ++i) {
    uint32_t byte = 0;
    valid = ReadHex(text, bytePositions[i], 2, byte);
    guid.Data4[i] = static_cast<uint8_t>(byte);
  }
  if (!valid)
    return CO_E_CLASSSTRING;
  *clsid = guid;
  return S_OK;
}

HRESULT CoLockObjectExternal(IUnknown* object, BOOL, BOOL) {
  return object == nullptr ? E_INVALIDARG : S_OK;
}
