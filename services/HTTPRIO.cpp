#include "services/HTTPRIO.h"

#include <utility>

namespace tellavo {

THTTPRIO::THTTPRIO(TInvokableClassRegistry& registry) : registry_(registry), converter_(registry) {}

ComPtr<THTTPRIO> THTTPRIO::Create(TInvokableClassRegistry& registry) {
  return ComPtr<THTTPRIO>::Attach(new THTTPRIO(registry));
}

ULONG THTTPRIO::AddRef() {
  return ++refCount_;
}

ULONG THTTPRIO::Release() {
  const ULONG count = --refCount_;
  if (count == 0)
    delete this;
  return count;
}

HRESULT THTTPRIO::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr)
    return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown) {
    *object = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  if (portType_ == nullptr ? !Bind(iid) : !(portType_->iid == iid))
    return E_NOINTERFACE;

  // The converter writes and reads in the style that the port type was
  // registered with.
  const TIntfFlags flags = registry_.GetIntfInvokeOptions(iid);
  TSOAPConvertOptions options = converter_.Options();
  options.Set(TSOAPConvertOption::soDocument, flags.Contains(TIntfFlag::ifDocument));
  options.Set(TSOAPConvertOption::soLiteralParams, flags.Contains(TIntfFlag::ifLiteral));
  converter_.SetOptions(options);
  transport_.SetSOAPAction(registry_.GetActionURIOfInfo(*portType_, u"", 0));

  *object = entryPoints_->Interface();
  AddRef();
  return S_OK;
}

bool THTTPRIO::Bind(const GUID& iid) {
  const TIntfMetaData* portType = registry_.GetInterfaceByGUID(iid);
  if (portType == nullptr || portType->makeEntryPoints == nullptr)
    return false;
  entryPoints_ = portType->makeEntryPoints(*this);
  portType_ = portType;
  return true;
}

void THTTPRIO::SetURL(std::u16string url) {
  const bool clearsDescription = !url.empty();
  transport_.SetURL(std::move(url));
  if (clearsDescription)
    wsdlLocation_.clear();
}

void THTTPRIO::SetWSDLLocation(std::u16string location) {
  if (!location.empty()) {
    transport_.SetURL(u"");
    service_.clear();
    port_.clear();
  }
  wsdlLocation_ = std::move(location);
}

std::u16string THTTPRIO::Invoke(int methodIndex, std::span<std::u16string> args) {
  const TIntfMetaData& portType = *portType_;
  const TMethodMetaData& method = portType.methods.at(static_cast<size_t>(methodIndex));

  std::string request = converter_.MakeRequest(portType, method, args);

  if (URL().empty() && !wsdlLocation_.empty())
    throw Exception(u"WSDL mode is not supported: set the URL instead");
  transport_.BeforeExecute(registry_.GetActionURIOfInfo(
      portType, registry_.GetMethExternalName(portType, method.name), methodIndex));

  if (OnBeforeExecute)
    OnBeforeExecute(method.name, request);
  TExchangeTrace trace(ServiceName, method.name);
  if (!trace.Recording())
    return Exchange(method.name, request, nullptr);
  trace.Request(URL(), transport_.SOAPAction(), request);
  try {
    std::u16string result = Exchange(method.name, request, &trace);
    trace.Succeeded();
    return result;
  } catch (const Exception& failure) {
    trace.Failed(failure);
    throw;
  }
}

std::u16string THTTPRIO::Exchange(std::u16string_view method, std::string_view request,
                                  TExchangeTrace* trace) {
  std::string response;
  transport_.Trace = trace;
  try {
    transport_.Execute(request, response);
  } catch (...) {
    transport_.Trace = nullptr;
    // A body read before the failure (one refused for its type or its size)
    // is part of what came back.
    if (trace != nullptr && !response.empty())
      trace->Answer(response);
    throw;
  }
  transport_.Trace = nullptr;
  if (trace != nullptr)
    trace->Answer(response);
  // The gateway had the whole request and answered: an answer that cannot be
  // read does not tell whether it was carried out.
  try {
    if (OnAfterExecute)
      OnAfterExecute(method, response);
    if (!transport_.MimeBoundary().empty())
      throw Exception(u"Multipart responses are not supported");
    return converter_.ProcessResponse(std::move(response));
  } catch (Exception& failure) {
    failure.SetRequestWritten();
    throw;
  }
}

} // namespace tellavo
