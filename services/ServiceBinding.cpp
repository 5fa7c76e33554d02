#include "services/ServiceBinding.h"

namespace tellavo {

namespace {

constexpr std::u16string_view kEncoding = u"utf-8";
constexpr std::u16string_view kStringType = u"string";
// The string type of the HTTP port types, registered under the XML name "string".
constexpr std::u16string_view kHttpStringType = u"string_";

TIntfMetaData MakePortType(const TServiceDescription& description, std::u16string_view suffix,
                           const GUID& iid, std::u16string_view resultType,
                           TMakeEntryPoints makeEntryPoints) {
  TIntfMetaData portType;
  portType.name = description.portTypeBase;
  portType.name += suffix;
  portType.unitName = description.unitName;
  portType.iid = iid;
  for (std::u16string_view operation : description.operations)
    portType.methods.push_back(
        {operation, {{{TParamFlag::pfIn, TParamFlag::pfConst}, u"xml", kStringType}}, resultType});
  portType.makeEntryPoints = makeEntryPoints;
  return portType;
}

} // namespace

TServiceBinding::TServiceBinding(TServiceDescription description)
    : description_(std::move(description)),
      soap_(MakePortType(description_, u"Soap", description_.soapIID, kStringType,
                         description_.makeEntryPoints)),
      httpGet_(MakePortType(description_, u"HttpGet", description_.httpGetIID, kHttpStringType,
                            nullptr)),
      httpPost_(MakePortType(description_, u"HttpPost", description_.httpPostIID, kHttpStringType,
                             nullptr)) {}

std::u16string TServiceBinding::EndpointURL(const TSettings& settings) const {
  std::u16string url = u"https://";
  url += settings.Text(description_.host);
  url += description_.path;
  return url;
}

std::u16string TServiceBinding::WSDLLocation(const TSettings& settings) const {
  return EndpointURL(settings) + u"?WSDL";
}

std::u16string TServiceBinding::DefaultSOAPAction(std::u16string_view nameSpace) const {
  std::u16string action(nameSpace);
  action += description_.actionSuffix;
  return action;
}

void TServiceBinding::Register(TInvokableClassRegistry& registry, TRemotableTypeRegistry& types,
                               std::u16string_view nameSpace) const {
  registry.RegisterInterface(soap_, nameSpace, kEncoding);
  registry.RegisterDefaultSOAPAction(soap_, DefaultSOAPAction(nameSpace));
  registry.RegisterInvokeOptions(soap_, {TIntfFlag::ifDocument});
  for (const TIntfMetaData* http : {&httpGet_, &httpPost_}) {
    registry.RegisterInterface(*http, nameSpace, kEncoding);
    registry.RegisterDefaultSOAPAction(*http, u"");
  }
  types.RegisterXSInfo(kHttpStringType, nameSpace, kStringType);
}

void TServiceBinding::ApplySettings(THTTPRIO& rio, bool fromWSDL, std::u16string address,
                                    const TSettings& settings) const {
  rio.HTTPWebNode().InvokeOptions.set(soIgnoreInvalidCerts,
                                      !settings.Flag(SettingId::VerifyCertificates));
  rio.HTTPWebNode().Repeatable = description_.repeatable;
  if (address.empty())
    address = fromWSDL ? WSDLLocation(settings) : EndpointURL(settings);
  if (fromWSDL) {
    rio.SetWSDLLocation(std::move(address));
    rio.SetService(std::u16string(description_.wsdlService));
    rio.SetPort(std::u16string(description_.wsdlPort));
  } else {
    rio.SetURL(std::move(address));
  }
}

} // namespace tellavo
