// The description of a type library built into this layer: what a module's
// TYPELIB resource holds on Windows, as constant data that the type library
// objects and the dispatcher read.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "Platform.h"

namespace tellavo::platform {

struct ParamData {
  std::u16string_view name;
  USHORT flags; // PARAMFLAG_*
};

// Calls one method of an interface pointer with its input arguments in
// declaration order; retvalue is null for a method without a return value.
using MethodCall = HRESULT (*)(void* instance, const BSTR* arguments, BSTR* retvalue);

// A method of a dual interface: every input parameter a BSTR, the last one
// an [out, retval] BSTR* when the method has a result.
struct FuncData {
  MEMBERID id;
  std::u16string_view name;
  std::span<const ParamData> params;
  MethodCall call;

  bool HasResult() const {
    return !params.empty() && (params.back().flags & PARAMFLAG_FRETVAL) != 0;
  }
  size_t InputCount() const { return params.size() - (HasResult() ? 1 : 0); }
};

struct ImplTypeData {
  HREFTYPE type; // index of the implemented type in its library
  INT flags;     // IMPLTYPEFLAG_*
};

struct TypeData {
  std::u16string_view name;
  GUID guid;
  TYPEKIND kind;
  WORD flags; // TYPEFLAG_*
  WORD majorVersion;
  WORD minorVersion;
  std::u16string_view help;
  std::span<const FuncData> funcs;
  std::span<const ImplTypeData> implTypes;
};

struct LibraryData {
  std::u16string_view name;
  GUID guid;
  WORD majorVersion;
  WORD minorVersion;
  LCID lcid;
  SYSKIND syskind;
  WORD flags; // LIBFLAG_*
  std::u16string_view help;
  std::span<const TypeData> types;
};

// The libraries whose content this layer holds.
std::span<const LibraryData* const> BuiltInLibraries();

// The record that marks a module file as carrying the library (the module
// links it as its TYPELIB 1 resource): a DEL character, "TYPELIB 1 " and the
// braced library GUID.
std::string ResourceRecord(const LibraryData& library);

} // namespace tellavo::platform
