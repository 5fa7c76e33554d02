#include "SoapClient.h"

#include <stdexcept>

#include "support/Curl.h"
#include "support/Simulator.h"

namespace tellavo::test {
namespace {

size_t AppendBody(char* data, size_t size, size_t count, void* answer) {
  static_cast<HttpAnswer*>(answer)->body.append(data, size * count);
  return size * count;
}

size_t TakeStatusLine(char* data, size_t size, size_t count, void* answer) {
  std::string line(data, size * count);
  if (line.rfind("HTTP/", 0) == 0)
    static_cast<HttpAnswer*>(answer)->statusLine =
        line.substr(0, line.find_last_not_of("\r\n") + 1);
  return size * count;
}

} // namespace

HttpClient::HttpClient() : curl_(curl_easy_init()) {
  if (!curl_)
    throw std::runtime_error("curl_easy_init failed");
}

HttpAnswer HttpClient::Post(const std::string& url, const std::string& body,
                            const std::vector<std::string>& headerLines,
                            const PostOptions& options) {
  CURL* curl = curl_.get();
  curl_easy_reset(curl);
  HttpAnswer answer;
  CurlList headers;
  auto addHeader = [&](const std::string& line) {
    curl_slist* extended = curl_slist_append(headers.get(), line.c_str());
    if (!extended)
      throw std::runtime_error("curl_slist_append failed");
    headers.release();
    headers.reset(extended);
  };
  for (const std::string& line : headerLines)
    addHeader(line);
  if (options.chunked)
    addHeader("Transfer-Encoding: chunked");
  // The simulator's certificate is self-signed: accept it, as the product does.
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  if (!options.proxy.empty())
    curl_easy_setopt(curl, CURLOPT_PROXY, options.proxy.c_str());
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
  if (!options.chunked)
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, TakeStatusLine);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer);
  answer.code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
  char* contentType = nullptr;
  curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &contentType);
  answer.hasContentType = contentType != nullptr;
  answer.contentType = contentType ? contentType : "";
  return answer;
}

std::string EscapeXmlText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    default:
      out += c;
    }
  }
  return out;
}

std::string RequestEnvelope(const std::string& operation, const std::string& document) {
  return "<?xml version=\"1.0\"?>\r\n"
         "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><SOAP-ENV:Body><" +
         operation + " xmlns=\"" + std::string(kSimulatorNamespace) + "\"><xml>" +
         EscapeXmlText(document) + "</xml></" + operation +
         "></SOAP-ENV:Body></SOAP-ENV:Envelope>\r\n";
}

std::vector<std::string> SoapHeaders(const std::string& operation) {
  return {"Content-Type: text/xml; charset=\"utf-8\"",
          "SOAPAction: \"" + std::string(kSimulatorNamespace) + operation + "\""};
}

} // namespace tellavo::test
