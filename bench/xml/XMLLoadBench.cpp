// Loading a large response and taking one element's text, against libxml2's
// own parse of the same bytes.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <string>

#include "measure/XmlDocument.h"
#include "xml/XMLDoc.h"

namespace {

constexpr size_t kTargetSize = 10 * 1024 * 1024;

std::string Envelope(const std::string& result) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
         "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
         "<soap:Body><getReport2DateResponse xmlns=\"http://ws.example/\">"
         "<getReport2DateResult>" +
         result + "</getReport2DateResult></getReport2DateResponse></soap:Body></soap:Envelope>";
}

// One result string of escaped markup, as the services send it.
std::string EscapedText() {
  std::string text;
  while (text.size() < kTargetSize)
    text += "&lt;ROW&gt;&lt;MSGID&gt;12345&lt;/MSGID&gt;&lt;STATUS&gt;Delivered "
            "\xC3\xBC&lt;/STATUS&gt;&lt;/ROW&gt;\r\n";
  return Envelope(text);
}

// The same size as many small elements with whitespace between them.
std::string ManyElements() {
  std::string rows;
  while (rows.size() < kTargetSize)
    rows += "\r\n  <ROW><MSGID>12345</MSGID><STATUS>Delivered \xC3\xBC</STATUS></ROW>";
  return Envelope("<ROWS>" + rows + "\r\n</ROWS>");
}

void LibXml2Parse(benchmark::State& state, const std::string& bytes) {
  for (auto _ : state) {
    const tellavo::bench::XmlDocument doc(
        xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                      XML_PARSE_NONET | XML_PARSE_NOENT));
    benchmark::DoNotOptimize(doc.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

// Loads the envelope and reads the text of the result element, or of the
// first leaf below it.
void LayerLoadAndRead(benchmark::State& state, const std::string& bytes) {
  for (auto _ : state) {
    tellavo::TXMLDocument document;
    document.LoadFromStream(bytes);
    tellavo::TXMLNode node =
        document.DocumentElement().ChildNodes()[0].ChildNodes()[0].ChildNodes()[0];
    while (node.ChildNodes()[0].NodeType() == tellavo::TNodeType::ntElement)
      node = node.ChildNodes()[0];
    benchmark::DoNotOptimize(node.Text());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

const std::string& EscapedInput() {
  static const std::string input = EscapedText();
  return input;
}
const std::string& ElementsInput() {
  static const std::string input = ManyElements();
  return input;
}

void BM_LibXml2_EscapedText(benchmark::State& s) {
  LibXml2Parse(s, EscapedInput());
}
void BM_Layer_EscapedText(benchmark::State& s) {
  LayerLoadAndRead(s, EscapedInput());
}
void BM_LibXml2_ManyElements(benchmark::State& s) {
  LibXml2Parse(s, ElementsInput());
}
void BM_Layer_ManyElements(benchmark::State& s) {
  LayerLoadAndRead(s, ElementsInput());
}

BENCHMARK(BM_LibXml2_EscapedText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Layer_EscapedText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibXml2_ManyElements)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Layer_ManyElements)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
