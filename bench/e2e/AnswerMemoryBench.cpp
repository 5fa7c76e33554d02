// Peak memory of one call whose answer is large: getinfo and getmsgstatus
// through the module's Gateway object against the gateway simulator, for
// answers of 1, 16 and 64 MiB made of text or of element content. Reports
// the resident peak the call reached above the process's size before it, and
// that peak as a multiple of the answer's size on the wire.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "ModuleGateway.h"
#include "common/Bstr.h"
#include "measure/ProcessMemory.h"
#include "support/Json.h"
#include "support/ScopedProxyEnvironment.h"
#include "support/Simulator.h"

namespace {

using namespace tellavo::bench;
using tellavo::test::Simulator;

enum class Operation { GetInfo, GetMsgStatus };
enum class Content { Text, Elements };

constexpr std::string_view kEnvelopeStart =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
    "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>";
constexpr std::string_view kEnvelopeEnd = "</soap:Body></soap:Envelope>";

// Originator names and status lines of this many bytes each, so that 64 MiB
// of element content stays within the build's bound on document nodes.
constexpr size_t kItemBytes = 240;
// A text answer is character data in pieces of at most this many bytes, in
// turn escaped and in CDATA sections: one text of more than ten million
// characters is more than the posix DOM takes in a node.
constexpr size_t kTextPieceBytes = 4 << 20;

// As many `element` items, each with text, as fit in `bytes` bytes of markup.
std::string Items(const std::string& element, size_t bytes) {
  const std::string item =
      "<" + element + ">" + std::string(kItemBytes, 'x') + "</" + element + ">";
  std::string items;
  items.reserve(bytes);
  while (items.size() + item.size() <= bytes)
    items += item;
  return items;
}

std::string Escaped(std::string_view markup) {
  std::string text;
  text.reserve(markup.size() + markup.size() / 16);
  for (const char c : markup)
    text += c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
  return text;
}

// `markup` as character data that reads back as the same characters.
std::string AsText(std::string_view markup) {
  std::string text;
  for (bool cdata = false; !markup.empty(); cdata = !cdata) {
    const std::string_view piece = markup.substr(0, kTextPieceBytes);
    text += cdata ? "<![CDATA[" + std::string(piece) + "]]>" : Escaped(piece);
    markup.remove_prefix(piece.size());
  }
  return text;
}

// The whole response envelope of an answer of at most `bytes` bytes.
std::string AnswerEnvelope(Operation operation, Content content, size_t bytes) {
  const std::string name = operation == Operation::GetInfo ? "getOriginators" : "getStatus";
  const std::string list = operation == Operation::GetInfo ? "ORIGINATORS" : "STATUS";
  const std::string item = operation == Operation::GetInfo ? "ORIGINATOR" : "MSG";
  const std::string start = std::string(kEnvelopeStart) + "<" + name + "Response xmlns=\"" +
                            std::string(tellavo::test::kSimulatorNamespace) + "\"><" + name +
                            "Result>";
  const std::string end =
      "</" + name + "Result></" + name + "Response>" + std::string(kEnvelopeEnd);
  // Escaping makes text longer than its markup: the items shrink until it fits.
  for (size_t budget = bytes - start.size() - end.size();; budget -= budget / 100) {
    const std::string markup = "<" + list + ">" + Items(item, budget) + "</" + list + ">";
    std::string envelope = start + (content == Content::Text ? AsText(markup) : markup) + end;
    if (envelope.size() <= bytes)
      return envelope;
  }
}

Simulator& SharedSimulator() {
  static Simulator simulator;
  return simulator;
}

// One call of `operation`: the length of its result in UTF-16 units, or 0
// when it gave a failure code.
size_t Call(Operation operation) {
  const tellavo::BStr user(u"tellavo");
  const tellavo::BStr password(u"s3cret");
  const tellavo::BStr vendor(u"42");
  const tellavo::BStr packet(u"1000001");
  tellavo::BStr retvalue;
  tellavo::IGateway& gateway = ModuleGateway();
  if (operation == Operation::GetInfo)
    gateway.getinfo(user.Get(), password.Get(), vendor.Get(), retvalue.Out());
  else
    gateway.getmsgstatus(user.Get(), password.Get(), packet.Get(), vendor.Get(), retvalue.Out());
  const BSTR answer = retvalue.Get();
  return answer != nullptr && answer[0] != u'-' ? SysStringLen(answer) : 0;
}

void AnswerPeak(benchmark::State& state, Operation operation, Content content) {
  // Large blocks always come from and go back to the system, so that one
  // run's freed memory cannot hide the next run's peak.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  Simulator& simulator = SharedSimulator();
  tellavo::test::ScopedProxyEnvironment proxy(simulator);
  Call(Operation::GetInfo); // connections, TLS and the module warmed up

  const std::string body =
      AnswerEnvelope(operation, content, static_cast<size_t>(state.range(0)) << 20);
  size_t resultUnits = 0;
  long peakKiB = 0;
  for (auto _ : state) {
    state.PauseTiming();
    simulator.Script("{\"body\":" + tellavo::test::JsonValue(body).dump() + "}");
    malloc_trim(0);
    ResetPeak();
    const long before = ResidentKiB();
    state.ResumeTiming();
    resultUnits = Call(operation);
    state.PauseTiming();
    peakKiB = std::max(peakKiB, PeakResidentKiB() - before);
    state.ResumeTiming();
  }
  simulator.ClearScript();
  const double answerMiB = static_cast<double>(body.size()) / (1 << 20);
  state.counters["answer_MiB"] = answerMiB;
  state.counters["result_MiB"] = static_cast<double>(resultUnits * sizeof(char16_t)) / (1 << 20);
  state.counters["peak_MiB_above_start"] = static_cast<double>(peakKiB) / 1024;
  state.counters["peak_per_answer_byte"] = static_cast<double>(peakKiB) / 1024 / answerMiB;
  if (resultUnits == 0)
    state.SkipWithError("the call failed");
}

void Sizes(benchmark::internal::Benchmark* benchmark) {
  benchmark->Arg(1)->Arg(16)->Arg(64)->ArgName("MiB")->Iterations(1)->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(AnswerPeak, getinfo_text, Operation::GetInfo, Content::Text)->Apply(Sizes);
BENCHMARK_CAPTURE(AnswerPeak, getinfo_elements, Operation::GetInfo, Content::Elements)
    ->Apply(Sizes);
BENCHMARK_CAPTURE(AnswerPeak, getmsgstatus_text, Operation::GetMsgStatus, Content::Text)
    ->Apply(Sizes);
BENCHMARK_CAPTURE(AnswerPeak, getmsgstatus_elements, Operation::GetMsgStatus, Content::Elements)
    ->Apply(Sizes);

} // namespace

BENCHMARK_MAIN();
