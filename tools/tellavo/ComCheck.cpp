#include "tools/tellavo/ComCheck.h"

#include <cstdint>

#include "common/ErrorConversion.h"
#include "common/Exceptions.h"
#include "common/Format.h"

namespace tellavo::cli {

void CheckStep(HRESULT result, std::u16string_view step) {
  try {
    OleCheck(result);
  } catch (const EOleSysError& plain) {
    throw EOleSysError(
        Format(u"%s failed: %s (0x%.8x)",
               {step, plain.Message(), static_cast<unsigned long>(static_cast<uint32_t>(result))}),
        result);
  }
}

} // namespace tellavo::cli
