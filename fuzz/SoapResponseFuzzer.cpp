// The SOAP response reader on arbitrary bytes: every input ends as a result
// or as one of Tellavo's exceptions, never as a crash, a sanitizer report or
// a foreign exception.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/Exceptions.h"
#include "services/SOAPConvert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const tellavo::TOPToSoapDomConvert reader;
  try {
    reader.ProcessResponse(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const tellavo::Exception&) {
  }
  return 0;
}
