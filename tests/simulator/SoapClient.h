// A bare libcurl client for checking the simulator from the outside, with
// every knob the checks need: proxy, extra headers, chunked upload.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>
#include <vector>

namespace tellavo::test {

struct PostOptions {
  std::string proxy; // empty: whatever the environment says
  bool chunked = false;
};

struct HttpAnswer {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::string statusLine; // the final one, without CR LF
  bool hasContentType = false;
  std::string contentType;
  std::string body;
};

// Keeps one libcurl handle, so consecutive calls may share a connection.
class HttpClient {
public:
  HttpClient();
  // headers: "Name: value" lines, sent in this order.
  HttpAnswer Post(const std::string& url, const std::string& body,
                  const std::vector<std::string>& headers, const PostOptions& options = {});

private:
  struct Deleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
  };
  std::unique_ptr<CURL, Deleter> curl_;
};

// A request envelope as the product writes it, the document carried as text.
std::string RequestEnvelope(const std::string& operation, const std::string& document);

// The headers of a SOAP call of that operation.
std::vector<std::string> SoapHeaders(const std::string& operation);

std::string EscapeXmlText(const std::string& text);

} // namespace tellavo::test
