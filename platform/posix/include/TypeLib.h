// OLE Automation type information for the posix build: the type library and
// type information interfaces, their structures, type library loading and
// registration, and late binding (name lookup and invocation) driven by the
// type information. Names, constants and signatures are those of Windows.
#pragma once

#include "OleAuto.h"
#include "WinTypes.h"

using HREFTYPE = DWORD;

constexpr HRESULT TYPE_E_REGISTRYACCESS = MakeResult(0x8002801C);
constexpr HRESULT TYPE_E_LIBNOTREGISTERED = MakeResult(0x8002801D);
constexpr HRESULT TYPE_E_INVALIDSTATE = MakeResult(0x80028029);

enum TYPEKIND {
  TKIND_ENUM = 0,
  TKIND_RECORD = 1,
  TKIND_MODULE = 2,
  TKIND_INTERFACE = 3,
  TKIND_DISPATCH = 4,
  TKIND_COCLASS = 5,
  TKIND_ALIAS = 6,
  TKIND_UNION = 7,
  TKIND_MAX = 8,
};

enum SYSKIND { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 };

enum REGKIND { REGKIND_DEFAULT = 0, REGKIND_REGISTER = 1, REGKIND_NONE = 2 };

enum TYPEFLAGS : WORD {
  TYPEFLAG_FAPPOBJECT = 0x1,
  TYPEFLAG_FCANCREATE = 0x2,
  TYPEFLAG_FLICENSED = 0x4,
  TYPEFLAG_FPREDECLID = 0x8,
  TYPEFLAG_FHIDDEN = 0x10,
  TYPEFLAG_FCONTROL = 0x20,
  TYPEFLAG_FDUAL = 0x40,
  TYPEFLAG_FNONEXTENSIBLE = 0x80,
  TYPEFLAG_FOLEAUTOMATION = 0x100,
  TYPEFLAG_FRESTRICTED = 0x200,
  TYPEFLAG_FAGGREGATABLE = 0x400,
  TYPEFLAG_FREPLACEABLE = 0x800,
  TYPEFLAG_FDISPATCHABLE = 0x1000,
  TYPEFLAG_FREVERSEBIND = 0x2000,
  TYPEFLAG_FPROXY = 0x4000,
};

constexpr INT IMPLTYPEFLAG_FDEFAULT = 0x1;
constexpr INT IMPLTYPEFLAG_FSOURCE = 0x2;
constexpr INT IMPLTYPEFLAG_FRESTRICTED = 0x4;
constexpr INT IMPLTYPEFLAG_FDEFAULTVTABLE = 0x8;

enum LIBFLAGS : WORD {
  LIBFLAG_FRESTRICTED = 0x1,
  LIBFLAG_FCONTROL = 0x2,
  LIBFLAG_FHIDDEN = 0x4,
  LIBFLAG_FHASDISKIMAGE = 0x8,
};

constexpr USHORT PARAMFLAG_NONE = 0x0;
constexpr USHORT PARAMFLAG_FIN = 0x1;
constexpr USHORT PARAMFLAG_FOUT = 0x2;
constexpr USHORT PARAMFLAG_FLCID = 0x4;
constexpr USHORT PARAMFLAG_FRETVAL = 0x8;
constexpr USHORT PARAMFLAG_FOPT = 0x10;
constexpr USHORT PARAMFLAG_FHASDEFAULT = 0x20;

enum FUNCKIND {
  FUNC_VIRTUAL = 0,
  FUNC_PUREVIRTUAL = 1,
  FUNC_NONVIRTUAL = 2,
  FUNC_STATIC = 3,
  FUNC_DISPATCH = 4,
};

enum INVOKEKIND {
  INVOKE_FUNC = 1,
  INVOKE_PROPERTYGET = 2,
  INVOKE_PROPERTYPUT = 4,
  INVOKE_PROPERTYPUTREF = 8,
};

enum CALLCONV {
  CC_FASTCALL = 0,
  CC_CDECL = 1,
  CC_MSCPASCAL = 2,
  CC_PASCAL = 2,
  CC_MACPASCAL = 3,
  CC_STDCALL = 4,
};

struct TYPEDESC {
  union {
    TYPEDESC* lptdesc;
    HREFTYPE hreftype;
  };
  VARTYPE vt;
};

struct IDLDESC {
  uintptr_t dwReserved;
  USHORT wIDLFlags;
};

struct PARAMDESC {
  void* pparamdescex;
  USHORT wParamFlags;
};

struct ELEMDESC {
  TYPEDESC tdesc;
  union {
    IDLDESC idldesc;
    PARAMDESC paramdesc;
  };
};

struct TLIBATTR {
  GUID guid;
  LCID lcid;
  SYSKIND syskind;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  WORD wLibFlags;
};

struct TYPEATTR {
  GUID guid;
  LCID lcid;
  DWORD dwReserved;
  MEMBERID memidConstructor;
  MEMBERID memidDestructor;
  LPOLESTR lpstrSchema;
  ULONG cbSizeInstance;
  TYPEKIND typekind;
  WORD cFuncs;
  WORD cVars;
  WORD cImplTypes;
  WORD cbSizeVft;
  WORD cbAlignment;
  WORD wTypeFlags;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  TYPEDESC tdescAlias;
  IDLDESC idldescType;
};

struct FUNCDESC {
  MEMBERID memid;
  SCODE* lprgscode;
  ELEMDESC* lprgelemdescParam;
  FUNCKIND funckind;
  INVOKEKIND invkind;
  CALLCONV callconv;
  SHORT cParams;
  SHORT cParamsOpt;
  SHORT oVft;
  SHORT cScodes;
  ELEMDESC elemdescFunc;
  WORD wFuncFlags;
};

struct ITypeLib;

// The part of ITypeInfo that this layer implements, in the Windows slot order.
struct ITypeInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** attr) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** desc) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* names, UINT maxNames,
                                             UINT* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* refType) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* names, UINT count,
                                                  MEMBERID* memids) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(void* instance, MEMBERID memid, WORD flags,
                                           DISPPARAMS* params, VARIANT* result,
                                           EXCEPINFO* excepInfo, UINT* argErr) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* name, BSTR* docString,
                                                     DWORD* helpContext, BSTR* helpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE refType, ITypeInfo** info) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** lib, UINT* index) = 0;
  virtual void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* attr) = 0;
  virtual void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* desc) = 0;

protected:
  ~ITypeInfo() = default;
};

// The part of ITypeLib that this layer implements, in the Windows slot order.
struct ITypeLib : IUnknown {
  virtual UINT STDMETHODCALLTYPE GetTypeInfoCount() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** info) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* kind) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** attr) = 0;
  // index -1 describes the library itself.
  virtual HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* docString,
                                                     DWORD* helpContext, BSTR* helpFile) = 0;
  virtual void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* attr) = 0;

protected:
  ~ITypeLib() = default;
};

// Loads the type library that a module carries. On posix a module carries a
// type library in its ".typelib" section, which the build compiles from the
// module's IDL; the file is read, never loaded. Any other file gives
// TYPE_E_CANTLOADLIBRARY. REGKIND_REGISTER also registers the library;
// REGKIND_DEFAULT and REGKIND_NONE do not.
HRESULT LoadTypeLibEx(LPCOLESTR file, REGKIND kind, ITypeLib** lib);
HRESULT LoadTypeLib(LPCOLESTR file, ITypeLib** lib);

// Writes TypeLib\{LIBID}\major.minor (with FLAGS, HELPDIR and lcid\win32 =
// fullPath) and the Interface\{IID} keys of its automation interfaces under
// HKEY_CLASSES_ROOT; helpDir null means the directory of fullPath.
HRESULT RegisterTypeLib(ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir);
// Removes what RegisterTypeLib wrote for that library version, locale and
// system; TYPE_E_REGISTRYACCESS when that version is not registered.
HRESULT UnRegisterTypeLib(REFGUID libId, WORD majorVersion, WORD minorVersion, LCID lcid,
                          SYSKIND syskind);
// The same for the calling user alone, under
// HKEY_CURRENT_USER\Software\Classes.
HRESULT RegisterTypeLibForUser(ITypeLib* lib, OLECHAR* fullPath, OLECHAR* helpDir);
HRESULT UnRegisterTypeLibForUser(REFGUID libId, WORD majorVersion, WORD minorVersion, LCID lcid,
                                 SYSKIND syskind);

// Calls a function with arguments of the given types, each in the union of
// its VARIANT: with an instance, the function at byte offset `offset` of the
// instance's function table, the instance passed first; without one, the
// function at address `offset`. The function's result goes to *result as
// resultType (VT_EMPTY or VT_VOID for none). DISP_E_BADVARTYPE for a type
// that no parameter of a type library here can have.
HRESULT DispCallFunc(void* instance, ULONG_PTR offset, CALLCONV callConv, VARTYPE resultType,
                     UINT count, VARTYPE* types, VARIANTARG** arguments, VARIANT* result);

// Late binding through type information.
HRESULT DispGetIDsOfNames(ITypeInfo* info, LPOLESTR* names, UINT count, DISPID* dispIds);
HRESULT DispInvoke(void* instance, ITypeInfo* info, DISPID dispId, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

constexpr USHORT VARIANT_NOVALUEPROP = 0x1;
constexpr USHORT VARIANT_ALPHABOOL = 0x2;

// Converts a value, or the value a reference points to, to another type:
// - to VT_BSTR from the empty value, strings, numbers and booleans (the
//   latter as "-1" and "0", or "True" and "False" with VARIANT_ALPHABOOL);
// - to the integer, real and boolean types from the empty value (0), numbers,
//   booleans (-1 and 0) and strings that hold a number (or "True"/"False"
//   for a boolean); reals round half to even into integers, and a value
//   beyond the target's range gives DISP_E_OVERFLOW;
// - to VT_UNKNOWN from VT_DISPATCH, to VT_DISPATCH from VT_UNKNOWN by asking
//   for IDispatch; to VT_VARIANT, a copy.
// Null and every other pair give DISP_E_TYPEMISMATCH.
HRESULT VariantChangeType(VARIANTARG* target, const VARIANTARG* source, USHORT flags, VARTYPE type);
