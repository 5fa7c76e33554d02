#include "Simulator.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "Curl.h"

namespace tellavo::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartTimeout = 30s;
constexpr auto kStopTimeout = 10s;
constexpr auto kPollInterval = 20ms;
constexpr long kControlTimeoutSeconds = 60;

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

Simulator::Workspace::Workspace() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tellavo-sim-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("cannot make a folder for the simulator");
  path_ = pattern;
}

Simulator::Workspace::~Workspace() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

Simulator::Simulator(std::string_view serviceNamespace) {
  const std::filesystem::path readyFile = workspace_.Path() / "ready.json";
  const std::string python = TELLAVO_PYTHON;
  const std::string script = TELLAVO_SIMULATOR_SCRIPT;
  const std::string readyText = readyFile.string();
  const std::string stateText = workspace_.Path().string();
  const std::string ns(serviceNamespace);
  std::vector<const char*> argv = {
      python.c_str(), script.c_str(),    "--port",      "0",
      "--ready-file", readyText.c_str(), "--state-dir", stateText.c_str(),
      "--namespace",  ns.c_str(),        nullptr};

  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0)
    throw std::runtime_error("cannot start the simulator: fork failed");
  if (pid_ == 0) {
    // Take the simulator down with the test process, even when that crashes.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
      _exit(1);
    execv(python.c_str(), const_cast<char* const*>(argv.data()));
    _exit(127);
  }

  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (!std::filesystem::exists(readyFile)) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("the simulator exited during start-up");
    }
    if (std::chrono::steady_clock::now() > deadline) {
      Stop();
      throw std::runtime_error("the simulator did not become ready in time");
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  std::ifstream in(readyFile);
  std::stringstream text;
  text << in.rdbuf();
  const JsonValue ready = ParseJson(text.str());
  port_ = static_cast<int>(ready["port"].Integer());
  certificate_ = ready["cert"].String();
}

Simulator::~Simulator() {
  Stop();
}

void Simulator::Stop() {
  if (pid_ <= 0)
    return;
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  pid_ = -1;
}

std::string Simulator::BaseUrl() const {
  return "https://127.0.0.1:" + std::to_string(port_);
}

std::string Simulator::ProxyUrl() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

JsonValue Simulator::Control(const char* method, std::string_view call,
                             std::string_view body) const {
  CurlEasy curl(curl_easy_init());
  if (!curl)
    throw std::runtime_error("curl_easy_init failed");
  const std::string url = ProxyUrl() + "/_sim/" + std::string(call);
  std::string answer;
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl.get(), CURLOPT_CUSTOMREQUEST, method);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, kControlTimeoutSeconds);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, AppendToString);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &answer);
  if (!body.empty()) {
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  }
  const CURLcode result = curl_easy_perform(curl.get());
  if (result != CURLE_OK)
    throw std::runtime_error(url + ": " + curl_easy_strerror(result));
  long status = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
  if (status != 200)
    throw std::runtime_error(url + ": status " + std::to_string(status) + " " + answer);
  return ParseJson(answer);
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
