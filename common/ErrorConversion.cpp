#include "common/ErrorConversion.h"

#include "common/Bstr.h"
#include "common/ComPtr.h"
#include "common/TextUtil.h"
#include "common/WideText.h"

namespace tellavo {

HRESULT BoundaryCode(Boundary boundary, const Exception* exception) {
  const HRESULT otherwise = boundary == Boundary::Registration ? E_FAIL : E_UNEXPECTED;
  if (boundary == Boundary::Creation)
    return otherwise;
  const auto* sys = dynamic_cast<const EOleSysError*>(exception);
  return sys != nullptr && FAILED(sys->ErrorCode()) ? sys->ErrorCode() : otherwise;
}

HRESULT ConvertException(const ErrorSource& source, const Exception* exception, Boundary boundary) {
  ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.Out())) || !create)
    return E_UNEXPECTED;
  create->SetGUID(source.errorInterface);
  if (!source.progId.empty())
    create->SetSource(OleText(source.progId));
  if (!source.helpFile.empty())
    create->SetHelpFile(OleText(source.helpFile));
  if (exception != nullptr) {
    create->SetDescription(OleText(exception->Message()));
    create->SetHelpContext(static_cast<DWORD>(exception->HelpContext()));
  }
  if (auto info = create.Query<IErrorInfo>(IID_IErrorInfo))
    SetErrorInfo(0, info.Get());
  return BoundaryCode(boundary, exception);
}

void OleCheck(HRESULT result) {
  if (FAILED(result))
    throw EOleSysError(u"", result);
}

void CheckSafeCall(HRESULT result) {
  if (!FAILED(result))
    return;
  std::u16string source, description, helpFile;
  DWORD helpContext = 0;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Out()) == S_OK && info) {
    BStr text;
    info->GetSource(text.Out());
    source = text.Text();
    info->GetDescription(text.Out());
    description = text.Text();
    info->GetHelpFile(text.Out());
    helpFile = text.Text();
    info->GetHelpContext(&helpContext);
  }
  throw EOleException(TrimRightControlAndPeriods(description), result, std::move(source),
                      std::move(helpFile), static_cast<int32_t>(helpContext));
}

} // namespace tellavo
