// One SOAP exchange through THTTPReqResp, each on a new transport object and
// so a new connection (as the service proxies make them), against the same
// POST made directly with libcurl on a new easy handle each time.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <memory>
#include <string>

#include "common/Utf.h"
#include "support/Curl.h"
#include "support/Simulator.h"
#include "transport/HTTPReqResp.h"
#include "transport/InternetTimeouts.h"

namespace {

using tellavo::test::Simulator;

constexpr const char* kPath = "/GetOriginators/GetOriginators.asmx";
constexpr const char* kAction = "http://ws.tellavo.example/getOriginators";

Simulator& SharedSimulator() {
  static Simulator simulator;
  static const bool scripted = [] {
    simulator.Script(R"({"body": "<answer/>", "content_type": "text/xml", "count": 0})");
    return true;
  }();
  (void)scripted;
  return simulator;
}

const std::string& RequestBody() {
  static const std::string body =
      "<?xml version=\"1.0\"?><Envelope>" + std::string(1500, 'x') + "</Envelope>";
  return body;
}

void TransportExchange(benchmark::State& state) {
  Simulator& simulator = SharedSimulator();
  tellavo::SetInternetTimeouts(600000);
  const std::u16string url = tellavo::Utf8ToUtf16(simulator.BaseUrl() + kPath);
  const std::u16string action = tellavo::Utf8ToUtf16(kAction);
  for (auto _ : state) {
    tellavo::THTTPReqResp transport;
    transport.InvokeOptions.set(tellavo::soIgnoreInvalidCerts);
    transport.SetURL(url);
    transport.BeforeExecute(action);
    std::string response;
    transport.Execute(RequestBody(), response);
    benchmark::DoNotOptimize(response);
  }
}

void DirectCurl(benchmark::State& state) {
  Simulator& simulator = SharedSimulator();
  const std::string url = simulator.BaseUrl() + kPath;
  tellavo::test::CurlList headers(
      curl_slist_append(nullptr, (std::string("SOAPAction: \"") + kAction + "\"").c_str()));
  curl_slist_append(headers.get(), "Content-Type: text/xml; charset=\"utf-8\"");
  for (auto _ : state) {
    tellavo::test::CurlEasy easy(curl_easy_init());
    std::string response;
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy.get(), CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy.get(), CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDS, RequestBody().data());
    curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(RequestBody().size()));
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &tellavo::test::AppendToString);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &response);
    if (curl_easy_perform(easy.get()) != CURLE_OK) {
      state.SkipWithError("direct POST failed");
      break;
    }
    benchmark::DoNotOptimize(response);
  }
}

BENCHMARK(TransportExchange)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DirectCurl)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
