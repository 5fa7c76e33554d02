// Namespaces and names of SOAP 1.1 messages, shared by the request writer and
// the response reader.
#pragma once

#include <string_view>

namespace tellavo {

inline constexpr std::u16string_view kSoapEnvelopeNamespace =
    u"http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr std::u16string_view kXmlSchemaNamespace = u"http://www.w3.org/2001/XMLSchema";
inline constexpr std::u16string_view kXmlSchemaInstanceNamespace =
    u"http://www.w3.org/2001/XMLSchema-instance";

inline constexpr std::u16string_view kSoapEnvelopePrefix = u"SOAP-ENV";
inline constexpr std::u16string_view kEnvelopeName = u"Envelope";
inline constexpr std::u16string_view kHeaderName = u"Header";
inline constexpr std::u16string_view kBodyName = u"Body";
inline constexpr std::u16string_view kFaultName = u"Fault";

} // namespace tellavo
