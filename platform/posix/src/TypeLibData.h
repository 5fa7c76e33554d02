// The content of a type library as the type library objects and the
// dispatcher read it, decoded from the record that a module carries.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform.h"

namespace tellavo::platform {

struct ParamData {
  std::u16string name;
  USHORT flags; // PARAMFLAG_*
  VARTYPE vt;
  VARTYPE pointee; // the type pointed to when vt is VT_PTR
};

// A method of an interface: its [in] parameters come first, an [out, retval]
// pointer last when it has a result.
struct FuncData {
  MEMBERID id;
  std::u16string name;
  SHORT vtableSlot; // index of the method's entry in the interface's function table
  VARTYPE result;
  std::vector<ParamData> params;

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
  std::u16string name;
  GUID guid;
  TYPEKIND kind;
  WORD flags; // TYPEFLAG_*
  WORD majorVersion;
  WORD minorVersion;
  std::u16string help;
  WORD baseSlots; // function table entries of the base interfaces
  std::vector<FuncData> funcs;
  std::vector<ImplTypeData> implTypes;
};

struct LibraryData {
  std::u16string name;
  GUID guid;
  WORD majorVersion;
  WORD minorVersion;
  LCID lcid;
  SYSKIND syskind;
  WORD flags; // LIBFLAG_*
  std::u16string help;
  std::vector<TypeData> types;
};

// The first type library record in `bytes` (a module's type library
// section), or nothing when there is none or it is malformed.
std::optional<LibraryData> DecodeTypeLibrary(std::string_view bytes);

// The type library section of a module file: empty when the file is no
// module of this system or carries no type library.
std::string ReadTypeLibrarySection(const std::string& path);

} // namespace tellavo::platform
