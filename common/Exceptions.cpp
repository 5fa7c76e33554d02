#include "common/Exceptions.h"

#include "common/Format.h"
#include "common/TextUtil.h"

namespace tellavo {

std::u16string Exception::ReportText() const {
  std::u16string text(ClassName());
  text += u' ';
  text += message_;
  return text;
}

std::u16string SystemMessageText(HRESULT code) {
  constexpr DWORD kBufferSize = 256;
  WCHAR buffer[kBufferSize] = {};
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(code), 0, buffer, kBufferSize, nullptr);
  std::u16string text(reinterpret_cast<const char16_t*>(buffer), length);
  return TrimRightControlAndPeriods(text);
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
