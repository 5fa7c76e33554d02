#include "Simulator.h"

#include <cctype>
#include <stdexcept>

namespace tellavo::test {
namespace {

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string DecodeBase64(std::string_view text) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z')
      return c - 'A';
    if (c >= 'a' && c <= 'z')
      return c - 'a' + 26;
    if (c >= '0' && c <= '9')
      return c - '0' + 52;
    if (c == '+')
      return 62;
    if (c == '/')
      return 63;
    return -1;
  };
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (const char c : text) {
    if (c == '=')
      break;
    const int v = value(c);
    if (v < 0)
      throw std::runtime_error("bad base64 text from the simulator");
    bits = (bits << 6) | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

RecordedRequest ToRecordedRequest(const JsonValue& json) {
  RecordedRequest r;
  r.method = json.at("method").get<std::string>();
  r.target = json.at("target").get<std::string>();
  r.path = json.at("path").get<std::string>();
  r.host = json.at("host").is_null() ? std::string() : json.at("host").get<std::string>();
  for (const JsonValue& header : json.at("headers"))
    r.headers.emplace_back(header.at(0).get<std::string>(), header.at(1).get<std::string>());
  r.body = DecodeBase64(json.at("body_base64").get<std::string>());
  if (!json.at("content_length").is_null())
    r.contentLength = json.at("content_length").get<long long>();
  r.chunked = json.at("chunked").get<bool>();
  r.tls = json.at("tls").get<bool>();
  r.viaProxy = json.at("via_proxy").get<bool>();
  if (!json.at("connect_target").is_null())
    r.connectTarget = json.at("connect_target").get<std::string>();
  r.connection = json.at("connection").get<int>();
  return r;
}

} // namespace

std::optional<std::string> RecordedRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers)
    if (SameTextIgnoringCase(key, name))
      return value;
  return std::nullopt;
}

std::string Simulator::BaseUrl() const {
  return "https://127.0.0.1:" + std::to_string(Port());
}

std::string Simulator::ProxyUrl() const {
  return "http://127.0.0.1:" + std::to_string(Port());
}

JsonValue Simulator::Control(const char* method, std::string_view call,
                             std::string_view body) const {
  const std::string url = ProxyUrl() + "/_sim/" + std::string(call);
  const ControlAnswer answer = SendControlRequest(method, url, body);
  if (answer.status != 200)
    throw std::runtime_error(url + ": status " + std::to_string(answer.status) + " " + answer.body);
  return JsonValue::parse(answer.body);
}

std::vector<RecordedRequest> Simulator::Requests() const {
  const JsonValue answer = Control("GET", "requests");
  std::vector<RecordedRequest> requests;
  for (const JsonValue& entry : answer.at("requests"))
    requests.push_back(ToRecordedRequest(entry));
  return requests;
}

void Simulator::ClearRequests() const {
  Control("DELETE", "requests");
}

std::vector<std::string> Simulator::Connects() const {
  const JsonValue answer = Control("GET", "connects");
  std::vector<std::string> connects;
  for (const JsonValue& target : answer.at("connects"))
    connects.push_back(target.get<std::string>());
  return connects;
}

ConnectionCounts Simulator::Connections() const {
  const JsonValue answer = Control("GET", "connections");
  return {answer.at("connections").get<long long>(), answer.at("handshakes").get<long long>(),
          answer.at("resumed").get<long long>()};
}

void Simulator::Script(std::string_view json) const {
  Control("POST", "script", json);
}

void Simulator::ClearScript() const {
  Control("DELETE", "script");
}

void Simulator::Reset() const {
  Control("POST", "reset");
}

void Simulator::SetAccounts(std::string_view json) const {
  Control("POST", "accounts", json);
}

JsonValue Simulator::Accounts() const {
  return Control("GET", "accounts").at("accounts");
}

JsonValue Simulator::Messages() const {
  return Control("GET", "messages").at("messages");
}

} // namespace tellavo::test
