// Cost of writing request envelopes and reading response envelopes as the
// carried string grows, with libxml2's bare parse of the same response bytes
// as the yardstick for reading.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <array>
#include <string>

#include "common/Utf.h"
#include "measure/XmlDocument.h"
#include "services/GetStatusWebService.h"
#include "services/SOAPConvert.h"
#include "services/ServiceBindings.h"

using namespace tellavo;

namespace {

// Text with markup characters every few dozen characters, so that escaping
// and entity resolution take part.
std::u16string Payload(size_t size) {
  const std::u16string pattern = u"<MSG id=\"1\">Status & delivery report 0123456789</MSG>\n";
  std::u16string text;
  text.reserve(size + pattern.size());
  while (text.size() < size)
    text += pattern;
  text.resize(size);
  return text;
}

std::string EscapeForXml(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    switch (c) {
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '&':
      out += "&amp;";
      break;
    default:
      out += c;
    }
  }
  return out;
}

std::string ResponseBytes(size_t size) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
         "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><getStatusResponse "
         "xmlns=\"http://ws.tellavo.example/\"><getStatusResult>" +
         EscapeForXml(Utf16ToUtf8(Payload(size))) +
         "</getStatusResult></getStatusResponse></soap:Body></soap:Envelope>";
}

void WriteRequest(benchmark::State& state) {
  RegisterServiceBindings();
  TOPToSoapDomConvert converter;
  converter.SetOptions(TSOAPConvertOptions{TSOAPConvertOption::soDocument});
  const TIntfMetaData& portType = GetStatusBinding().SoapPortType();
  const std::u16string payload = Payload(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    // Writing takes the argument over; each pass gets its own, made untimed.
    state.PauseTiming();
    std::array<std::u16string, 1> args{payload};
    state.ResumeTiming();
    benchmark::DoNotOptimize(converter.MakeRequest(portType, portType.methods[0], args));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}

void ReadResponse(benchmark::State& state) {
  const TOPToSoapDomConvert converter;
  const std::string response = ResponseBytes(static_cast<size_t>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(converter.ProcessResponse(response));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(response.size()));
  state.SetComplexityN(state.range(0));
}

void LibXml2Parse(benchmark::State& state) {
  const std::string response = ResponseBytes(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    const bench::XmlDocument document(xmlReadMemory(response.data(),
                                                    static_cast<int>(response.size()), nullptr,
                                                    nullptr, XML_PARSE_HUGE | XML_PARSE_NONET));
    benchmark::DoNotOptimize(document.get());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(response.size()));
  state.SetComplexityN(state.range(0));
}

void Sizes(benchmark::internal::Benchmark* benchmark) {
  benchmark->Arg(1 << 10)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMicrosecond);
  benchmark->Complexity(benchmark::oN);
}

} // namespace

BENCHMARK(WriteRequest)->Apply(Sizes);
BENCHMARK(ReadResponse)->Apply(Sizes);
BENCHMARK(LibXml2Parse)->Apply(Sizes);

BENCHMARK_MAIN();
