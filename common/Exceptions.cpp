#include "common/Exceptions.h"

#include "common/Format.h"
#include "common/TextUtil.h"
#include "common/WideText.h"

namespace tellavo {

std::u16string Exception::ReportText() const {
  std::u16string text(ClassName());
  text += u' ';
  text += message_;
  return text;
}

std::u16string MessageTableText(DWORD code, HMODULE module) {
  constexpr DWORD kBufferSize = 256;
  // Inserts stay as they are: there are no arguments to put in their place.
  DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  if (module != nullptr)
    flags |= FORMAT_MESSAGE_FROM_HMODULE;
  WCHAR buffer[kBufferSize] = {};
  const DWORD length = FormatMessageW(flags, module, code, 0, buffer, kBufferSize, nullptr);
  return FromWide(buffer, length);
}

std::u16string SystemMessageText(HRESULT code) {
  return TrimRightControlAndPeriods(MessageTableText(static_cast<DWORD>(code), nullptr));
}

EOleSysError::EOleSysError(std::u16string message, HRESULT errorCode, int32_t helpContext)
    : Named(std::move(message), helpContext), errorCode_(errorCode) {
  if (!Message().empty())
    return;
  std::u16string text = SystemMessageText(errorCode);
  if (text.empty())
    text =
        Format(u"OLE error %.8x", {static_cast<unsigned long>(static_cast<uint32_t>(errorCode))});
  SetMessage(std::move(text));
}

} // namespace tellavo
