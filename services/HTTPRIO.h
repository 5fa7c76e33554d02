// The service proxy: a generic object that serves one port type once it is
// bound to it, turning each operation call into one SOAP exchange. It owns its
// converter and its transport and lives by reference count.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "Platform.h"
#include "common/ComPtr.h"
#include "common/Exceptions.h"
#include "services/Invokable.h"
#include "services/InvokeRegistry.h"
#include "services/SOAPConvert.h"
#include "transport/HTTPReqResp.h"

namespace tellavo {

class THTTPRIO final : public IUnknown {
public:
  // Called with the operation name and the request or response bytes, which
  // the hook may change.
  using TExecuteEvent = std::function<void(std::u16string_view method, std::string& data)>;

  // A new, unbound proxy with one reference, held by the result.
  static ComPtr<THTTPRIO> Create(TInvokableClassRegistry& registry = InvRegistry());

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // The port type with this identifier, binding the proxy to it first if it
  // is still unbound; raises EIntfCastError when the proxy cannot serve it.
  template <class PortType> ComPtr<PortType> As(const GUID& iid) {
    ComPtr<PortType> portType;
    if (FAILED(QueryInterface(iid, reinterpret_cast<void**>(portType.Out()))))
      throw EIntfCastError(u"Interface not supported");
    return portType;
  }

  // The endpoint. A non-empty URL ends any use of a service description.
  const std::u16string& URL() const { return transport_.URL(); }
  void SetURL(std::u16string url);
  // The service description and, within it, the service and port to use.
  // A non-empty location clears the URL, the service and the port.
  const std::u16string& WSDLLocation() const { return wsdlLocation_; }
  void SetWSDLLocation(std::u16string location);
  const std::u16string& Service() const { return service_; }
  void SetService(std::u16string service) { service_ = std::move(service); }
  const std::u16string& Port() const { return port_; }
  void SetPort(std::u16string port) { port_ = std::move(port); }

  // The service's name in trace records.
  std::u16string_view ServiceName;

  TExecuteEvent OnBeforeExecute;
  TExecuteEvent OnAfterExecute;

  TOPToSoapDomConvert& Converter() { return converter_; }
  THTTPReqResp& HTTPWebNode() { return transport_; }
  // The port type the proxy serves; null while unbound.
  const TIntfMetaData* BoundPortType() const { return portType_; }

  // One operation call: the operation at `methodIndex` (counted from 0 among
  // the bound port type's operations) with one value per input parameter.
  // The values are taken over: each is released once the request holds it.
  std::u16string Invoke(int methodIndex, std::span<std::u16string> args);

private:
  explicit THTTPRIO(TInvokableClassRegistry& registry);
  ~THTTPRIO() = default;

  bool Bind(const GUID& iid);
  // Posts the request and reads its answer, adding what came back to
  // `trace` when there is one.
  std::u16string Exchange(std::u16string_view method, std::string_view request,
                          TExchangeTrace* trace);

  TInvokableClassRegistry& registry_;
  std::atomic<ULONG> refCount_{1};
  TOPToSoapDomConvert converter_;
  THTTPReqResp transport_;
  std::u16string wsdlLocation_;
  std::u16string service_;
  std::u16string port_;
  const TIntfMetaData* portType_ = nullptr;
  std::unique_ptr<TInvokableEntryPoints> entryPoints_;
};

} // namespace tellavo
