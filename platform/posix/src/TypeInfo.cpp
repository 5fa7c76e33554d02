// Type libraries as ITypeLib and ITypeInfo objects, and their loading from
// the type library section of a module file.
//
// Each load makes one library object that owns the decoded content; its type
// information objects share its reference count, and the last release of
// either frees them all.
#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "Dispatcher.h"
#include "TypeLibData.h"
#include "common/Bstr.h"
#include "common/ComPtr.h"
#include "common/FileNameText.h"
#include "common/Utf.h"

namespace tellavo::platform {
namespace {

class TypeLibrary;

// Sets a BSTR out-parameter that the caller may leave null.
HRESULT SetText(BSTR* target, std::u16string_view text) {
  if (target == nullptr)
    return S_OK;
  *target = nullptr;
  if (text.empty())
    return S_OK;
  *target = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *target == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT SetDocumentation(BSTR* name, BSTR* docString, DWORD* helpContext, BSTR* helpFile,
                         std::u16string_view nameText, std::u16string_view docText) {
  if (helpContext != nullptr)
    *helpContext = 0;
  SetText(helpFile, u"");
  if (FAILED(SetText(name, nameText)))
    return E_OUTOFMEMORY;
  if (FAILED(SetText(docString, docText))) {
    if (name != nullptr)
      SysFreeString(std::exchange(*name, nullptr));
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

class TypeInformation final : public ITypeInfo {
public:
  TypeInformation(TypeLibrary& library, const TypeData& data, UINT index)
      : library_(library), data_(data), index_(index) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** attr) override;
  HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** desc) override;
  HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* names, UINT maxNames,
                                     UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* refType) override {
    if (refType == nullptr)
      return E_INVALIDARG;
    if (index >= data_.implTypes.size())
      return TYPE_E_ELEMENTNOTFOUND;
    *refType = data_.implTypes[index].type;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* flags) override {
    if (flags == nullptr)
      return E_INVALIDARG;
    if (index >= data_.implTypes.size())
      return TYPE_E_ELEMENTNOTFOUND;
    *flags = data_.implTypes[index].flags;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
    return DispatchIDsOfNames(data_, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(void* instance, MEMBERID memid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override {
    return DispatchInvoke(data_, instance, memid, flags, params, result, excepInfo, argErr);
  }
  HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* name, BSTR* docString,
                                             DWORD* helpContext, BSTR* helpFile) override {
    if (memid == MEMBERID_NIL)
      return SetDocumentation(name, docString, helpContext, helpFile, data_.name, data_.help);
    const FuncData* func = Find(memid);
    if (func == nullptr)
      return TYPE_E_ELEMENTNOTFOUND;
    return SetDocumentation(name, docString, helpContext, helpFile, func->name, u"");
  }
  HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE refType, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** lib, UINT* index) override;
  void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }
  void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* desc) override;

private:
  const FuncData* Find(MEMBERID memid) const {
    const auto found = std::find_if(data_.funcs.begin(), data_.funcs.end(),
                                    [memid](const FuncData& func) { return func.id == memid; });
    return found == data_.funcs.end() ? nullptr : &*found;
  }

  TypeLibrary& library_;
  const TypeData& data_;
  UINT index_;
};

class TypeLibrary final : public ITypeLib {
public:
  explicit TypeLibrary(LibraryData data) : data_(std::move(data)) {
    types_.reserve(data_.types.size());
    for (UINT i = 0; i < data_.types.size(); ++i)
      types_.push_back(std::make_unique<TypeInformation>(*this, data_.types[i], i));
  }

  const LibraryData& Data() const { return data_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr)
      return E_POINTER;
    if (riid != IID_IUnknown && riid != IID_ITypeLib) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<ITypeLib*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0)
      delete this;
    return left;
  }

  UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return static_cast<UINT>(types_.size()); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** info) override {
    if (info == nullptr)
      return E_INVALIDARG;
    *info = nullptr;
    if (index >= types_.size())
      return TYPE_E_ELEMENTNOTFOUND;
    *info = types_[index].get();
    (*info)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* kind) override {
    if (kind == nullptr)
      return E_INVALIDARG;
    if (index >= types_.size())
      return TYPE_E_ELEMENTNOTFOUND;
    *kind = data_.types[index].kind;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override {
    if (info == nullptr)
      return E_INVALIDARG;
    *info = nullptr;
    const auto found = std::find_if(data_.types.begin(), data_.types.end(),
                                    [&](const TypeData& type) { return type.guid == guid; });
    if (found == data_.types.end())
      return TYPE_E_ELEMENTNOTFOUND;
    return GetTypeInfo(static_cast<UINT>(found - data_.types.begin()), info);
  }
  HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** attr) override {
    if (attr == nullptr)
      return E_INVALIDARG;
    *attr = new (std::nothrow) TLIBATTR{data_.guid,         data_.lcid,         data_.syskind,
                                        data_.majorVersion, data_.minorVersion, data_.flags};
    return *attr == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* docString,
                                             DWORD* helpContext, BSTR* helpFile) override {
    if (index == -1)
      return SetDocumentation(name, docString, helpContext, helpFile, data_.name, data_.help);
    if (index < 0 || static_cast<size_t>(index) >= types_.size())
      return TYPE_E_ELEMENTNOTFOUND;
    return types_[index]->GetDocumentation(MEMBERID_NIL, name, docString, helpContext, helpFile);
  }
  void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* attr) override { delete attr; }

private:
  const LibraryData data_;
  std::vector<std::unique_ptr<TypeInformation>> types_;
  // The creator holds the first reference.
  std::atomic<ULONG> references_{1};
};

HRESULT TypeInformation::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr)
    return E_POINTER;
  if (riid != IID_IUnknown && riid != IID_ITypeInfo) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  *object = static_cast<ITypeInfo*>(this);
  AddRef();
  return S_OK;
}

ULONG TypeInformation::AddRef() {
  return library_.AddRef();
}

ULONG TypeInformation::Release() {
  return library_.Release();
}

HRESULT TypeInformation::GetTypeAttr(TYPEATTR** attr) {
  if (attr == nullptr)
    return E_INVALIDARG;
  *attr = new (std::nothrow) TYPEATTR{};
  if (*attr == nullptr)
    return E_OUTOFMEMORY;
  TYPEATTR& a = **attr;
  a.guid = data_.guid;
  a.lcid = library_.Data().lcid;
  a.memidConstructor = MEMBERID_NIL;
  a.memidDestructor = MEMBERID_NIL;
  a.typekind = data_.kind;
  a.cFuncs = static_cast<WORD>(data_.funcs.size());
  a.cImplTypes = static_cast<WORD>(data_.implTypes.size());
  a.cbSizeInstance = sizeof(void*);
  a.cbAlignment = alignof(void*);
  if (data_.kind == TKIND_INTERFACE)
    a.cbSizeVft = static_cast<WORD>((data_.baseSlots + data_.funcs.size()) * sizeof(void*));
  a.wTypeFlags = data_.flags;
  a.wMajorVerNum = data_.majorVersion;
  a.wMinorVerNum = data_.minorVersion;
  return S_OK;
}

HRESULT TypeInformation::GetFuncDesc(UINT index, FUNCDESC** desc) {
  if (desc == nullptr)
    return E_INVALIDARG;
  *desc = nullptr;
  if (index >= data_.funcs.size())
    return TYPE_E_ELEMENTNOTFOUND;
  const FuncData& func = data_.funcs[index];
  auto result = std::unique_ptr<FUNCDESC>(new (std::nothrow) FUNCDESC{});
  auto params = std::unique_ptr<ELEMDESC[]>(new (std::nothrow) ELEMDESC[func.params.size()]{});
  if (!result || !params)
    return E_OUTOFMEMORY;
  // Each pointer parameter owns the description of what it points to.
  std::vector<std::unique_ptr<TYPEDESC>> pointees;
  for (size_t i = 0; i < func.params.size(); ++i) {
    const ParamData& param = func.params[i];
    params[i].tdesc.vt = param.vt;
    params[i].paramdesc.wParamFlags = param.flags;
    if (param.vt == VT_PTR) {
      auto& pointee = pointees.emplace_back(new (std::nothrow) TYPEDESC{});
      if (!pointee)
        return E_OUTOFMEMORY;
      pointee->vt = param.pointee;
      params[i].tdesc.lptdesc = pointee.get();
    }
  }
  FUNCDESC& d = *result;
  d.memid = func.id;
  d.funckind = FUNC_PUREVIRTUAL;
  d.invkind = INVOKE_FUNC;
  d.callconv = CC_STDCALL;
  d.cParams = static_cast<SHORT>(func.params.size());
  d.oVft = static_cast<SHORT>(func.vtableSlot * sizeof(void*));
  d.elemdescFunc.tdesc.vt = func.result;
  d.lprgelemdescParam = params.release();
  // From here the FUNCDESC owns the pointees; ReleaseFuncDesc frees them.
  for (auto& pointee : pointees)
    pointee.release();
  *desc = result.release();
  return S_OK;
}

void TypeInformation::ReleaseFuncDesc(FUNCDESC* desc) {
  if (desc == nullptr)
    return;
  for (SHORT i = 0; i < desc->cParams; ++i) {
    if (desc->lprgelemdescParam[i].tdesc.vt == VT_PTR)
      delete desc->lprgelemdescParam[i].tdesc.lptdesc;
  }
  delete[] desc->lprgelemdescParam;
  delete desc;
}

HRESULT TypeInformation::GetNames(MEMBERID memid, BSTR* names, UINT maxNames, UINT* count) {
  if (names == nullptr || count == nullptr)
    return E_INVALIDARG;
  *count = 0;
  const FuncData* func = Find(memid);
  if (func == nullptr)
    return TYPE_E_ELEMENTNOTFOUND;
  std::vector<std::u16string_view> all{func->name};
  for (const ParamData& param : func->params)
    all.push_back(param.name);
  const UINT n = std::min<UINT>(maxNames, static_cast<UINT>(all.size()));
  for (UINT i = 0; i < n; ++i) {
    if (FAILED(SetText(&names[i], all[i]))) {
      for (UINT j = 0; j < i; ++j)
        SysFreeString(names[j]);
      return E_OUTOFMEMORY;
    }
  }
  *count = n;
  return S_OK;
}

HRESULT TypeInformation::GetRefTypeInfo(HREFTYPE refType, ITypeInfo** info) {
  if (info == nullptr)
    return E_INVALIDARG;
  *info = nullptr;
  return refType >= library_.GetTypeInfoCount() ? TYPE_E_ELEMENTNOTFOUND
                                                : library_.GetTypeInfo(refType, info);
}

HRESULT TypeInformation::GetContainingTypeLib(ITypeLib** lib, UINT* index) {
  if (lib == nullptr)
    return E_INVALIDARG;
  *lib = &library_;
  library_.AddRef();
  if (index != nullptr)
    *index = index_;
  return S_OK;
}

} // namespace

} // namespace tellavo::platform

using namespace tellavo::platform;

HRESULT LoadTypeLibEx(LPCOLESTR file, REGKIND kind, ITypeLib** lib) {
  if (file == nullptr || lib == nullptr)
    return E_INVALIDARG;
  *lib = nullptr;
  std::optional<LibraryData> data =
      DecodeTypeLibrary(ReadTypeLibrarySection(tellavo::Utf16ToFileName(file)));
  if (!data)
    return TYPE_E_CANTLOADLIBRARY;
  auto library =
      tellavo::ComPtr<ITypeLib>::Attach(new (std::nothrow) TypeLibrary(std::move(*data)));
  if (!library)
    return E_OUTOFMEMORY;
  if (kind == REGKIND_REGISTER) {
    if (const HRESULT hr = RegisterTypeLib(library.Get(), file, nullptr); FAILED(hr))
      return hr;
  }
  *lib = library.Detach();
  return S_OK;
}

HRESULT LoadTypeLib(LPCOLESTR file, ITypeLib** lib) {
  return LoadTypeLibEx(file, REGKIND_DEFAULT, lib);
}

HRESULT DispGetIDsOfNames(ITypeInfo* info, LPOLESTR* names, UINT count, DISPID* dispIds) {
  return info == nullptr ? E_INVALIDARG : info->GetIDsOfNames(names, count, dispIds);
}

HRESULT DispInvoke(void* instance, ITypeInfo* info, DISPID dispId, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  return info == nullptr ? E_INVALIDARG
                         : info->Invoke(instance, dispId, flags, params, result, excepInfo, argErr);
}
