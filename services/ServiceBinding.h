// The shape shared by the five service bindings: each states its constants in
// a TServiceDescription, and TServiceBinding derives from them the port-type
// descriptions, the endpoint, the SOAP action, the registration and the proxy
// getter.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/ComPtr.h"
#include "common/Settings.h"
#include "services/HTTPRIO.h"
#include "services/Invokable.h"
#include "services/InvokeRegistry.h"
#include "services/RemotableTypeRegistry.h"

namespace tellavo {

// The port types of the five services registered in `nameSpace`: the
// process's registry for the built-in namespace, else one made on first use
// and kept, so that a proxy never sees a registry change under it.
TInvokableClassRegistry& RegistryFor(std::u16string_view nameSpace);

struct TServiceDescription {
  std::u16string_view unitName;
  // The port types are named this followed by "Soap", "HttpGet" and "HttpPost".
  std::u16string_view portTypeBase;
  // In slot order; each takes the one string parameter "xml" and returns a string.
  std::vector<std::u16string_view> operations;
  GUID soapIID;
  GUID httpGetIID;
  GUID httpPostIID;
  TMakeEntryPoints makeEntryPoints;
  // The setting that names the service's host.
  SettingId host;
  std::u16string_view path;
  std::u16string_view wsdlService;
  std::u16string_view wsdlPort;
  // Appended to the service namespace to give the SOAP action.
  std::u16string_view actionSuffix;
  // The operations only read: a request whose connection died before any
  // answer may be sent once more. Sending services leave it off, so that a
  // message is never sent twice.
  bool repeatable = false;
};

class TServiceBinding {
public:
  explicit TServiceBinding(TServiceDescription description);

  const TServiceDescription& Description() const { return description_; }
  const TIntfMetaData& SoapPortType() const { return soap_; }
  const TIntfMetaData& HttpGetPortType() const { return httpGet_; }
  const TIntfMetaData& HttpPostPortType() const { return httpPost_; }

  // "https://" + the host the settings name + path: the default port, no query.
  std::u16string EndpointURL(const TSettings& settings = BuiltInSettings()) const;
  // The endpoint followed by "?WSDL".
  std::u16string WSDLLocation(const TSettings& settings = BuiltInSettings()) const;
  std::u16string DefaultSOAPAction(std::u16string_view nameSpace) const;

  // Registers the SOAP port type (document style, with its action), the
  // HTTP-GET and HTTP-POST port types (empty action) and the string type,
  // all in `nameSpace`.
  void Register(TInvokableClassRegistry& registry, TRemotableTypeRegistry& types,
                std::u16string_view nameSpace) const;

  // A proxy on this service, bound to its SOAP port type: `existingRIO` when
  // given (which is never released here, even when binding fails), else a new
  // one on the port types of the settings' namespace. An empty address means
  // the settings' endpoint, or its description with `fromWSDL`. The
  // transport checks certificates as the settings say.
  template <class PortType>
  ComPtr<PortType> GetProxy(bool fromWSDL, std::u16string address, THTTPRIO* existingRIO,
                            const TSettings& settings) const {
    ComPtr<THTTPRIO> rio =
        existingRIO != nullptr
            ? ComPtr<THTTPRIO>::Share(existingRIO)
            : THTTPRIO::Create(RegistryFor(settings.Text(SettingId::ServiceNamespace)));
    ComPtr<PortType> portType = rio->As<PortType>(soap_.iid);
    rio->ServiceName = description_.unitName;
    ApplySettings(*rio.Get(), fromWSDL, std::move(address), settings);
    return portType;
  }

private:
  void ApplySettings(THTTPRIO& rio, bool fromWSDL, std::u16string address,
                     const TSettings& settings) const;

  TServiceDescription description_;
  TIntfMetaData soap_;
  TIntfMetaData httpGet_;
  TIntfMetaData httpPost_;
};

} // namespace tellavo
