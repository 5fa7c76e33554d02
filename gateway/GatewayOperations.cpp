#include "gateway/GatewayOperations.h"

#include <optional>
#include <utility>

#include "common/Settings.h"
#include "common/TextUtil.h"
#include "gateway/EventLogReport.h"
#include "gateway/MessageBasket.h"
#include "gateway/SendOutcome.h"
#include "services/GetOriginatorsWebService.h"
#include "services/GetReport2DateWebService.h"
#include "services/GetStatusWebService.h"
#include "services/SendSMSPrepaidWebService.h"
#include "services/SendSMSWebService.h"
#include "transport/ExchangeTrace.h"
#include "transport/InternetTimeouts.h"
#include "transport/TraceCall.h"
#include "transport/TraceFile.h"
#include "xml/XMLDoc.h"

namespace tellavo {

namespace {

constexpr DWORD kQueryTimeout = 600000;
constexpr DWORD kSendTimeout = 660000;

// The marker in a credit-check answer that makes an account prepaid.
constexpr std::u16string_view kCreditMarker = u"CREDIT";
constexpr std::u16string_view kMessageIdElement = u"MSGID";

// Where the trace of a call goes, and how much of it: the process's own
// choice of file over the setting's, the limits as set.
TTraceOptions TraceOptions(const TSettings& settings) {
  std::u16string file = TraceFileOverride();
  if (file.empty())
    file = settings.Text(SettingId::TraceFile);
  return {std::move(file), settings.Number(SettingId::TraceMaxBodyBytes),
          settings.Number(SettingId::TraceMaxBytes)};
}

// The settings in force for the exchanges of this call; the call's trace
// starts with them, masking the password in every form the request holds it
// in.
TSettings CallSettings(TTraceCall& trace, std::u16string_view password) {
  TSettings settings = CurrentSettings();
  if (TTraceOptions options = TraceOptions(settings); !options.file.empty())
    trace.Start(std::move(options), {std::u16string(password), EscapeValue(password)});
  return settings;
}

// What a failed query tells beside its failure: nothing, since a query
// changes nothing at the gateway and may simply be asked again.
struct NoOutcome {
  std::u16string_view operator()(const Exception&) const { return {}; }
};

// Runs the exchanges of the Gateway method `method`, traced when the trace
// is on. `answer` is where the exchange keeps the service's answer once it
// has arrived; on a failure the result is that answer, or "-1" when none
// arrived, and the failure goes to the event log, followed by the words that
// `outcome` gives for it, which the trace records too. An exchange whose
// result is the answer itself moves it out. A trace that could not be
// written is reported after the call, once per process.
template <class Exchange, class Outcome = NoOutcome>
std::u16string Guarded(std::u16string_view method, Exchange&& exchange, Outcome outcome = {}) {
  TTraceCall trace(method);
  std::u16string answer;
  std::u16string result;
  try {
    result = exchange(answer, trace);
  } catch (const Exception& failure) {
    const std::u16string_view told = outcome(failure);
    ReportFailure(failure, told);
    if (!told.empty())
      TraceOutcome(told);
    result = answer.empty() ? std::u16string(kResultExchangeFailed) : std::move(answer);
  }
  if (const std::optional<Exception> traceFailure = trace.TakeFailure())
    ReportFailure(*traceFailure);
  return result;
}

// Loads an answer, with its CR LF pairs removed, and returns its document
// element. Answers seldom hold such pairs; only then is the text copied first.
TXMLNode LoadAnswer(TXMLDocument& document, std::u16string_view answer) {
  if (answer.find(u"\r\n") == std::u16string_view::npos)
    document.SetXML(answer);
  else
    document.SetXML(RemoveCrLfPairs(answer));
  document.SetActive(true);
  TXMLNode root = document.DocumentElement();
  if (!root)
    throw EXMLDocError(u"The service answered with an empty text");
  return root;
}

} // namespace

std::u16string GetInfo(std::u16string_view username, std::u16string_view password,
                       std::u16string_view vendor_id) {
  return Guarded(u"getinfo", [&](std::u16string& answer, TTraceCall& trace) {
    std::u16string request = BuildGetOriginatorsDocument(username, password, vendor_id);
    const TSettings settings = CallSettings(trace, password);
    TXMLDocument document;
    SetInternetTimeouts(kQueryTimeout);
    answer = GetOriginatorsProxy(false, {}, nullptr, settings)->getOriginators(std::move(request));
    const TXMLNodeList children = LoadAnswer(document, answer).ChildNodes();
    std::u16string originators;
    for (int i = 0; i < children.Count(); ++i) {
      originators += children[i].Text();
      originators += u'\n';
    }
    return originators;
  });
}

std::u16string GetMsgStatus(std::u16string_view username, std::u16string_view password,
                            std::u16string_view packet_id, std::u16string_view vendor_id) {
  return Guarded(u"getmsgstatus", [&](std::u16string& answer, TTraceCall& trace) {
    std::u16string request = BuildGetStatusDocument(username, password, packet_id, vendor_id);
    const TSettings settings = CallSettings(trace, password);
    SetInternetTimeouts(kQueryTimeout);
    answer = GetStatusProxy(false, {}, nullptr, settings)->getStatus(std::move(request));
    return std::move(answer);
  });
}

std::u16string GetMsgStatusToDate(std::u16string_view username, std::u16string_view password,
                                  std::u16string_view date1, std::u16string_view date2,
                                  std::u16string_view vendor_id) {
  return Guarded(u"getmsgstatustodate", [&](std::u16string& answer, TTraceCall& trace) {
    std::u16string request = BuildReport2DateDocument(username, password, date1, date2, vendor_id);
    const TSettings settings = CallSettings(trace, password);
    SetInternetTimeouts(kQueryTimeout);
    answer = GetReport2DateProxy(false, {}, nullptr, settings)->getReport2Date(std::move(request));
    return std::move(answer);
  });
}

std::u16string SendBasket(SendDocumentKind kind, const SendArguments& arguments) {
  // Building refuses values that XML cannot carry; the refusal is reported
  // like a failed exchange and leaves the basket as it is.
  const std::u16string_view method =
      kind == SendDocumentKind::SendSms ? u"sendsms" : u"sendsmsconcat";
  // A failure says whether the messages may have gone out, which depends on
  // how far the send had got.
  SendStage stage = SendStage::BeforeSending;
  const auto outcome = [&stage](const Exception& failure) {
    return OutcomeSentence(FailedSendOutcome(failure, stage));
  };
  const auto send = [&](std::u16string& answer, TTraceCall& trace) {
    std::u16string request;
    const auto build = [&](const TBasketLists* lists) {
      if (lists != nullptr && !lists->Numbers.empty())
        request = BuildSendDocument(kind, arguments, *lists);
    };
    const TMessageBasket& basket = TMessageBasket::Instance();
    if (kind == SendDocumentKind::SendSms)
      basket.ReadShort(build);
    else
      basket.ReadLong(build);
    if (request.empty())
      return std::u16string(kResultBasketEmpty);

    std::u16string creditRequest =
        BuildGetOriginatorsDocument(arguments.username, arguments.password, arguments.vendor_id);
    // One reading of the settings serves both exchanges of the call.
    const TSettings settings = CallSettings(trace, arguments.password);
    TXMLDocument document;
    SetInternetTimeouts(kSendTimeout);
    const std::u16string credit =
        GetOriginatorsProxy(false, {}, nullptr, settings)->getOriginators(std::move(creditRequest));
    const ComPtr<SendSMSSoap> sender = credit.find(kCreditMarker) != std::u16string::npos
                                           ? SendSMSPrepaidProxy(false, {}, nullptr, settings)
                                           : SendSMSProxy(false, {}, nullptr, settings);
    // The document goes to the call, which lets it go once the envelope holds it.
    stage = SendStage::Sending;
    answer = kind == SendDocumentKind::SendSms ? sender->sendSMS(std::move(request))
                                               : sender->sendConcat(std::move(request));
    stage = SendStage::Answered;
    TXMLNode messageId = LoadAnswer(document, answer).ChildNodes().FindNode(kMessageIdElement);
    return TrimControl(messageId.Text());
  };
  return Guarded(method, send, outcome);
}

} // namespace tellavo
