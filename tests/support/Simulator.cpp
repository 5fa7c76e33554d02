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
  r.method = json["method"].String();
  r.target = json["target"].String();
  r.path = json["path"].String();
  r.host = json["host"].IsNull() ? std::string() : json["host"].String();
  for (const JsonValue& header : json["headers"].Array())
    r.headers.emplace_back(header.Array().at(0).String(), header.Array().at(1).String());
  r.body = DecodeBase64(json["body_base64"].String());
  if (!json["content_length"].IsNull())
    r.contentLength = json["content_length"].Integer();
  r.chunked = json["chunked"].Bool();
  r.tls = json["tls"].Bool();
  r.viaProxy = json["via_proxy"].Bool();
  if (!json["connect_target"].IsNull())
    r.connectTarget = json["connect_target"].String();
  r.connection = static_cast<int>(json["connection"].Integer());
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
  return ParseJson(answer.body);
}

std::vector<RecordedRequest> Simulator::Requests() const {
  const JsonValue answer = Control("GET", "requests");
  std::vector<RecordedRequest> requests;
  for (const JsonValue& entry : answer["requests"].Array())
    requests.push_back(ToRecordedRequest(entry));
  return requests;
}

void Simulator::ClearRequests() const {
  Control("DELETE", "requests");
}

std::vector<std::string> Simulator::Connects() const {
  const JsonValue answer = Control("GET", "connects");
  std::vector<std::string> connects;
  for (const JsonValue& target : answer["connects"].Array())
    connects.push_back(target.String());
  return connects;
}

ConnectionCounts Simulator::Connections() const {
  const JsonValue answer = Control("GET", "connections");
  return {answer["connections"].Integer(), answer["handshakes"].Integer(),
          answer["resumed"].Integer()};
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
  return Control("GET", "accounts")["accounts"];
}

JsonValue Simulator::Messages() const {
  return Control("GET", "messages")["messages"];
}

} // namespace tellavo::test
