// N sequential getinfo calls through the module's Gateway object, each of
// which opens a new connection, against the same POSTs made directly with
// libcurl on a new easy handle each time. Both go through the gateway
// simulator as the HTTPS proxy, to the built-in endpoint.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <string>

#include "ModuleGateway.h"
#include "support/Curl.h"
#include "support/ScopedProxyEnvironment.h"
#include "support/Simulator.h"

namespace {

using tellavo::test::Simulator;

Simulator& SharedSimulator() {
  static Simulator simulator;
  return simulator;
}

void GetInfoThroughTheModule(benchmark::State& state) {
  Simulator& simulator = SharedSimulator();
  tellavo::test::ScopedProxyEnvironment proxy(simulator);
  BSTR user = SysAllocString(u"tellavo");
  BSTR password = SysAllocString(u"s3cret");
  BSTR vendor = SysAllocString(u"42");
  for (auto _ : state) {
    BSTR retvalue = nullptr;
    tellavo::bench::ModuleGateway().getinfo(user, password, vendor, &retvalue);
    if (retvalue == nullptr || retvalue[0] == u'-')
      state.SkipWithError("getinfo failed");
    SysFreeString(retvalue);
  }
  SysFreeString(user);
  SysFreeString(password);
  SysFreeString(vendor);
}

// The envelope that getinfo sends for the same account.
const std::string kEnvelope =
    "<?xml version=\"1.0\"?>\r\n<SOAP-ENV:Envelope "
    "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><SOAP-ENV:Body><getOriginators "
    "xmlns=\"http://ws.tellavo.example/\"><xml>&lt;?xml version=\"1.0\" encoding=\"utf-8\" "
    "?&gt;&lt;GETORIGINATORS&gt;&lt;USERNAME&gt;tellavo&lt;/USERNAME&gt;&lt;PASSWORD&gt;s3cret&lt;/"
    "PASSWORD&gt;&lt;VENDOR_ID&gt;42&lt;/VENDOR_ID&gt;&lt;/GETORIGINATORS&gt;</xml></"
    "getOriginators></SOAP-ENV:Body></SOAP-ENV:Envelope>\r\n";

void DirectCurlPost(benchmark::State& state) {
  Simulator& simulator = SharedSimulator();
  tellavo::test::CurlList headers(
      curl_slist_append(nullptr, "SOAPAction: \"http://ws.tellavo.example/getOriginators\""));
  curl_slist_append(headers.get(), "Content-Type: text/xml; charset=\"utf-8\"");
  for (auto _ : state) {
    tellavo::test::CurlEasy easy(curl_easy_init());
    std::string response;
    curl_easy_setopt(easy.get(), CURLOPT_URL,
                     "https://gateway.tellavo.example/GetOriginators/GetOriginators.asmx");
    curl_easy_setopt(easy.get(), CURLOPT_PROXY, simulator.ProxyUrl().c_str());
    curl_easy_setopt(easy.get(), CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy.get(), CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDS, kEnvelope.data());
    curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(kEnvelope.size()));
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &tellavo::test::AppendToString);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &response);
    if (curl_easy_perform(easy.get()) != CURLE_OK ||
        response.find("getOriginatorsResult") == std::string::npos) {
      state.SkipWithError("direct POST failed");
      break;
    }
  }
}

BENCHMARK(GetInfoThroughTheModule)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DirectCurlPost)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
