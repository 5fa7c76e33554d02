// Late binding over a type description: names to DISPIDs, and calls by DISPID
// with their arguments converted to the method's parameter types.
#pragma once

#include "TypeLibData.h"

namespace tellavo::platform {

HRESULT DispatchIDsOfNames(const TypeData& type, LPOLESTR* names, UINT count, MEMBERID* ids);

HRESULT DispatchInvoke(const TypeData& type, void* instance, MEMBERID id, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

} // namespace tellavo::platform
