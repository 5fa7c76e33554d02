#include "tools/tellavo/LateBoundObject.h"

#include "common/Bstr.h"
#include "common/ErrorConversion.h"
#include "common/Exceptions.h"
#include "common/Variant.h"
#include "common/WideText.h"

namespace tellavo::cli {
namespace {

// A result VARIANT, cleared on every path.
// A failed call described by the thread's error object, or by the system's
// text for the HRESULT when there is none.
CallResult Failure(HRESULT hresult) {
  try {
    CheckSafeCall(hresult);
  } catch (const EOleException& failure) {
    return CallResult{hresult, std::nullopt, failure.Message()};
  }
  return CallResult{hresult, std::nullopt, {}};
}

// Invoke reported an exception of the method: its scode is the method's own
// HRESULT, and its description says why.
CallResult ExceptionFailure(EXCEPINFO& info) {
  if (info.pfnDeferredFillIn != nullptr)
    info.pfnDeferredFillIn(&info);
  const BStr source = BStr::Attach(info.bstrSource);
  const BStr description = BStr::Attach(info.bstrDescription);
  const BStr helpFile = BStr::Attach(info.bstrHelpFile);
  const HRESULT hresult = info.scode != 0 ? info.scode : DISP_E_EXCEPTION;
  std::u16string text = description.Text();
  if (text.empty())
    text = EOleSysError(u"", hresult).Message();
  return CallResult{hresult, std::nullopt, std::move(text)};
}

} // namespace

CallResult LateBoundObject::Call(std::u16string_view method,
                                 const std::vector<std::u16string>& arguments) const {
  // An error object left over from an earlier call must not describe this one.
  SetErrorInfo(0, nullptr);

  std::u16string name(method);
  LPOLESTR names[] = {Wide(name.data())};
  DISPID id = DISPID_UNKNOWN;
  if (const HRESULT hr = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
      FAILED(hr))
    return Failure(hr);

  // DISPPARAMS holds the arguments last first. The BSTRs stay owned here; the
  // variants only lend them to the call.
  std::vector<BStr> texts;
  texts.reserve(arguments.size());
  for (auto argument = arguments.rbegin(); argument != arguments.rend(); ++argument)
    texts.emplace_back(*argument);
  std::vector<VARIANTARG> variants(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    VariantInit(&variants[i]);
    variants[i].vt = VT_BSTR;
    variants[i].bstrVal = texts[i].Get();
  }
  DISPPARAMS params{variants.data(), nullptr, static_cast<UINT>(variants.size()), 0};

  OwnedVariant result;
  EXCEPINFO exception{};
  UINT argumentError = 0;
  const HRESULT hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                     result.Out(), &exception, &argumentError);
  if (hr == DISP_E_EXCEPTION)
    return ExceptionFailure(exception);
  if (FAILED(hr))
    return Failure(hr);
  CallResult done;
  done.hresult = hr;
  if (result.Get().vt == VT_BSTR)
    done.retvalue = std::u16string(BstrView(result.Get().bstrVal));
  return done;
}

} // namespace tellavo::cli
