// The error object: one COM object that is filled through ICreateErrorInfo
// and read through IErrorInfo, and the calling thread's current one.
#include <atomic>
#include <string>

#include "OleAuto.h"

namespace {

class ErrorObject final : public ICreateErrorInfo, public IErrorInfo {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr)
      return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ICreateErrorInfo)
      *object = static_cast<ICreateErrorInfo*>(this);
    else if (riid == IID_IErrorInfo)
      *object = static_cast<IErrorInfo*>(this);
    else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
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

  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guid) override {
    guid_ = guid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return Store(source_, text); }
  HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override {
    return Store(description_, text);
  }
  HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override { return Store(helpFile_, text); }
  HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override {
    helpContext_ = context;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) override {
    if (guid == nullptr)
      return E_INVALIDARG;
    *guid = guid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* text) override { return Load(source_, text); }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* text) override { return Load(description_, text); }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* text) override { return Load(helpFile_, text); }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* context) override {
    if (context == nullptr)
      return E_INVALIDARG;
    *context = helpContext_;
    return S_OK;
  }

private:
  static HRESULT Store(std::u16string& field, LPOLESTR text) {
    field = text == nullptr ? std::u16string() : std::u16string(text);
    return S_OK;
  }
  static HRESULT Load(const std::u16string& field, BSTR* text) {
    if (text == nullptr)
      return E_INVALIDARG;
    *text = SysAllocStringLen(field.data(), static_cast<UINT>(field.size()));
    return *text == nullptr ? E_OUTOFMEMORY : S_OK;
  }

  std::atomic<ULONG> references_{1};
  GUID guid_ = GUID_NULL;
  std::u16string source_, description_, helpFile_;
  DWORD helpContext_ = 0;
};

// Holds the thread's current error object and releases it when the thread ends.
struct CurrentErrorInfo {
  IErrorInfo* info = nullptr;
  ~CurrentErrorInfo() {
    if (info != nullptr)
      info->Release();
  }
};

thread_local CurrentErrorInfo current;

} // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** info) {
  if (info == nullptr)
    return E_INVALIDARG;
  *info = new (std::nothrow) ErrorObject;
  return *info == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT SetErrorInfo(ULONG, IErrorInfo* info) {
  if (info != nullptr)
    info->AddRef();
  if (current.info != nullptr)
    current.info->Release();
  current.info = info;
  return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** info) {
  if (info == nullptr)
    return E_INVALIDARG;
  *info = current.info;
  current.info = nullptr;
  return *info == nullptr ? S_FALSE : S_OK;
}
