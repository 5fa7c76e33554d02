// Late binding over a built-in type description: names to DISPIDs, and calls
// by DISPID with their arguments converted to the method's BSTR parameters.
#pragma once

#include "TypeLibData.h"

namespace tellavo::platform {

HRESULT DispatchIDsOfNames(const TypeData& type, LPOLESTR* names, UINT count, MEMBERID* ids);

HRESULT DispatchInvoke(const TypeData& type, void* instance, MEMBERID id, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

} // namespace tellavo::platform
