// Decodes the type library record that a module carries (the format is
// described with its compiler, resources/IdlCompiler.py). Every read is
// bounded by the record; a record that ends early, holds an unknown type
// kind or a method whose table offset does not fit decodes to nothing.
#include <cstring>

#include "TypeLibData.h"
#include "common/Utf.h"

namespace tellavo::platform {
namespace {

constexpr std::string_view RecordMagic("\x7FTYPELIB", 8);

class Reader {
public:
  explicit Reader(std::string_view bytes) : rest_(bytes) {}

  bool Ok() const { return ok_; }
  void Fail() { ok_ = false; }

  template <class T> T Read() {
    T value{};
    if (ok_ && rest_.size() >= sizeof value) {
      std::memcpy(&value, rest_.data(), sizeof value);
      rest_.remove_prefix(sizeof value);
    } else {
      ok_ = false;
    }
    return value;
  }

  std::string_view Bytes(size_t size) {
    if (!ok_ || rest_.size() < size) {
      ok_ = false;
      return {};
    }
    const std::string_view bytes = rest_.substr(0, size);
    rest_.remove_prefix(size);
    return bytes;
  }

  std::u16string Text() {
    const std::string_view bytes = Bytes(Read<WORD>());
    return ok_ ? Utf8ToUtf16(bytes) : std::u16string();
  }

  GUID Guid() { return Read<GUID>(); }

private:
  std::string_view rest_;
  bool ok_ = true;
};

// The table offset of a slot is a SHORT of bytes.
constexpr WORD MaxSlot = 0x7FFF / sizeof(void*);

ParamData ReadParam(Reader& in) {
  ParamData param{};
  param.name = in.Text();
  param.flags = in.Read<USHORT>();
  param.vt = in.Read<VARTYPE>();
  if (param.vt == VT_PTR)
    param.pointee = in.Read<VARTYPE>();
  return param;
}

FuncData ReadFunc(Reader& in) {
  FuncData func{};
  func.id = in.Read<MEMBERID>();
  func.name = in.Text();
  const WORD slot = in.Read<WORD>();
  if (slot > MaxSlot)
    in.Fail();
  func.vtableSlot = static_cast<SHORT>(slot);
  func.result = in.Read<VARTYPE>();
  const WORD count = in.Read<WORD>();
  for (WORD i = 0; i < count && in.Ok(); ++i)
    func.params.push_back(ReadParam(in));
  return func;
}

TypeData ReadType(Reader& in) {
  TypeData type{};
  type.name = in.Text();
  type.guid = in.Guid();
  const WORD kind = in.Read<WORD>();
  if (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH && kind != TKIND_COCLASS)
    in.Fail();
  type.kind = static_cast<TYPEKIND>(kind);
  type.flags = in.Read<WORD>();
  type.majorVersion = in.Read<WORD>();
  type.minorVersion = in.Read<WORD>();
  type.help = in.Text();
  type.baseSlots = in.Read<WORD>();
  const WORD funcs = in.Read<WORD>();
  for (WORD i = 0; i < funcs && in.Ok(); ++i)
    type.funcs.push_back(ReadFunc(in));
  const WORD implTypes = in.Read<WORD>();
  for (WORD i = 0; i < implTypes && in.Ok(); ++i) {
    const HREFTYPE ref = in.Read<DWORD>();
    type.implTypes.push_back({ref, in.Read<INT>()});
  }
  return type;
}

} // namespace

std::optional<LibraryData> DecodeTypeLibrary(std::string_view bytes) {
  // Objects in one section may be padded apart.
  const size_t start = bytes.find_first_not_of('\0');
  if (start == std::string_view::npos || bytes.substr(start, RecordMagic.size()) != RecordMagic)
    return std::nullopt;
  Reader record(bytes.substr(start + RecordMagic.size()));
  Reader in(record.Bytes(record.Read<DWORD>()));
  if (!record.Ok())
    return std::nullopt;
  LibraryData library{};
  library.guid = in.Guid();
  library.majorVersion = in.Read<WORD>();
  library.minorVersion = in.Read<WORD>();
  library.lcid = in.Read<LCID>();
  library.syskind = static_cast<SYSKIND>(in.Read<WORD>());
  library.flags = in.Read<WORD>();
  library.name = in.Text();
  library.help = in.Text();
  const WORD types = in.Read<WORD>();
  for (WORD i = 0; i < types && in.Ok(); ++i)
    library.types.push_back(ReadType(in));
  for (const TypeData& type : library.types) {
    for (const ImplTypeData& impl : type.implTypes) {
      if (impl.type >= library.types.size())
        in.Fail();
    }
  }
  if (!in.Ok())
    return std::nullopt;
  return library;
}

} // namespace tellavo::platform
