// The SOAP converter of a proxy: writes an operation call as a SOAP 1.1
// request envelope and reads the response envelope into the call's result or
// the fault it carries.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "services/Invokable.h"
#include "services/InvokeRegistry.h"
#include "services/SmallSet.h"

namespace tellavo {

// In bit order. Writing and reading string parameters look only at
// soDocument and soLiteralParams; the others are kept for callers that
// inspect or set them.
enum class TSOAPConvertOption {
  soSendUntyped,
  soSendMultiRefObj,
  soSendMultiRefArray,
  soTryAllSchema,
  soRootRefNodesToBody,
  soDocument,
  soReturnSuccessForFault,
  soUTF8InHeader,
  soDontSendEmptyNodes,
  soCacheMimeResponse,
  soDontClearOutBoundHeaders,
  soCustomFaultAtDetailsNode,
  soLiteralParams,
  soUTF8EncodeXML,
  soXXXXHdr,
  soFormElementUnqualifed,
};
using TSOAPConvertOptions = TSmallSet<TSOAPConvertOption>;

inline constexpr TSOAPConvertOptions kDefaultSOAPConvertOptions{
    TSOAPConvertOption::soSendMultiRefObj, TSOAPConvertOption::soTryAllSchema,
    TSOAPConvertOption::soRootRefNodesToBody, TSOAPConvertOption::soCacheMimeResponse,
    TSOAPConvertOption::soUTF8EncodeXML};

class TOPToSoapDomConvert {
public:
  explicit TOPToSoapDomConvert(const TInvokableClassRegistry& registry = InvRegistry())
      : registry_(registry) {}

  TSOAPConvertOptions Options() const { return options_; }
  void SetOptions(TSOAPConvertOptions options) { options_ = options; }

  // The request envelope for calling `method` of `portType` with one value
  // per input parameter, as UTF-8 bytes without byte-order mark. Only
  // document style with a wrapper element is written. Each value is released
  // once the document holds it.
  std::string MakeRequest(const TIntfMetaData& portType, const TMethodMetaData& method,
                          std::span<std::u16string> args) const;

  // The string result carried by the response envelope. Raises
  // ESOAPDomConvertError for a malformed envelope, ERemotableException for a
  // SOAP fault or an unhandled mandatory header, and the XML layer's
  // exceptions for bytes that are not XML. The response is taken over and
  // released as soon as it is parsed.
  std::u16string ProcessResponse(std::string response) const;

private:
  const TInvokableClassRegistry& registry_;
  TSOAPConvertOptions options_ = kDefaultSOAPConvertOptions;
};

} // namespace tellavo
