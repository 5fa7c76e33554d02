// Owned views of type-library data: the attribute blocks that a type library
// and a type information lend out and must get back, and the text forms of
// GUIDs and names that the server reads from them.
#pragma once

#include <string>

#include "Platform.h"
#include "common/ComPtr.h"

namespace tellavo::server {

// The attributes of a type library, handed back when this goes.
class TypeLibAttributes {
public:
  // Raises EOleSysError when the library cannot give them.
  explicit TypeLibAttributes(ITypeLib* library);
  ~TypeLibAttributes();
  TypeLibAttributes(const TypeLibAttributes&) = delete;
  TypeLibAttributes& operator=(const TypeLibAttributes&) = delete;

  const TLIBATTR* operator->() const { return attributes_; }
  const TLIBATTR& operator*() const { return *attributes_; }

private:
  ITypeLib* library_;
  TLIBATTR* attributes_ = nullptr;
};

// The attributes of a type information, handed back when this goes.
class TypeAttributes {
public:
  // Raises EOleSysError when the type information cannot give them.
  explicit TypeAttributes(ITypeInfo* info);
  ~TypeAttributes();
  TypeAttributes(const TypeAttributes&) = delete;
  TypeAttributes& operator=(const TypeAttributes&) = delete;

  const TYPEATTR* operator->() const { return attributes_; }

private:
  ITypeInfo* info_;
  TYPEATTR* attributes_ = nullptr;
};

// The braced, upper-case text of a GUID, as class and library keys name it.
std::u16string GuidText(REFGUID guid);

// The name of the library itself, from its documentation.
std::u16string TypeLibName(ITypeLib* library);

} // namespace tellavo::server
