#include "common/Exceptions.h"
#include "services/SOAPConvert.h"
#include "services/SOAPNames.h"
#include "xml/XMLDoc.h"

namespace tellavo {

std::string TOPToSoapDomConvert::MakeRequest(const TIntfMetaData& portType,
                                             const TMethodMetaData& method,
                                             std::span<std::u16string> args) const {
  if (!options_.Contains(TSOAPConvertOption::soDocument) ||
      options_.Contains(TSOAPConvertOption::soLiteralParams))
    throw Exception(u"Only document-style requests with a wrapper element are supported");

  TXMLDocument document;
  document.SetActive(true);
  document.SetVersion(u"1.0");

  TXMLNode envelope = document.CreateNode(u"SOAP-ENV:Envelope");
  envelope.DeclareNamespace(kSoapEnvelopePrefix, kSoapEnvelopeNamespace);
  envelope.DeclareNamespace(u"xsd", kXmlSchemaNamespace);
  envelope.DeclareNamespace(u"xsi", kXmlSchemaInstanceNamespace);
  document.SetDocumentElement(envelope);
  const TXMLNode body = envelope.AddChild(u"SOAP-ENV:Body", kSoapEnvelopeNamespace);

  // The wrapper is unprefixed and declares the service namespace as the
  // default, which the parameter elements inside it then inherit.
  const std::u16string nameSpace = registry_.GetNamespaceByGUID(portType.iid);
  const std::u16string methodName = registry_.GetMethExternalName(portType, method.name);
  const TXMLNode wrapper = body.AddChild(methodName, nameSpace);

  size_t argIndex = 0;
  for (const TParamMetaData& param : method.params) {
    if (param.IsOutputOnly())
      continue;
    if (argIndex == args.size())
      throw Exception(u"Too few arguments for the call of " + methodName);
    const TXMLNode element = wrapper.AddChild(
        registry_.GetParamExternalName(portType, method.name, param.name), nameSpace);
    element.SetText(args[argIndex]);
    // The document holds the value now; a large one is not kept twice while
    // the envelope is written.
    std::u16string().swap(args[argIndex++]);
  }

  // Sent as UTF-8, which the transport announces in its Content-Type.
  return document.SaveToUtf8();
}

} // namespace tellavo
