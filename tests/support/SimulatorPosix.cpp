// The simulator as a child process of the test, and its control API over
// libcurl.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Curl.h"
#include "Json.h"
#include "SimulatorProcess.h"

namespace tellavo::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartTimeout = 30s;
constexpr auto kStopTimeout = 10s;
constexpr auto kPollInterval = 20ms;
constexpr long kControlTimeoutSeconds = 60;

// A folder of its own for the simulator's ready file and certificate.
class Workspace {
public:
  Workspace() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tellavo-sim-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      throw std::runtime_error("cannot make a folder for the simulator");
    path_ = pattern;
  }
  ~Workspace() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;
  const std::filesystem::path& Path() const { return path_; }

private:
  std::filesystem::path path_;
};

} // namespace

struct SimulatorProcess::Running {
  Workspace workspace;
  pid_t pid = -1;

  // Stops it with SIGTERM (SIGKILL if it does not exit in time).
  ~Running() {
    if (pid <= 0)
      return;
    kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(kPollInterval);
    }
  }
};

SimulatorProcess::SimulatorProcess(std::string_view serviceNamespace)
    : running_(std::make_unique<Running>()) {
  const std::filesystem::path readyFile = running_->workspace.Path() / "ready.json";
  const std::string python = TELLAVO_PYTHON;
  const std::string script = TELLAVO_SIMULATOR_SCRIPT;
  const std::string readyText = readyFile.string();
  const std::string stateText = running_->workspace.Path().string();
  const std::string ns(serviceNamespace);
  std::vector<const char*> argv = {
      python.c_str(), script.c_str(),    "--port",      "0",
      "--ready-file", readyText.c_str(), "--state-dir", stateText.c_str(),
      "--namespace",  ns.c_str(),        nullptr};

  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0)
    throw std::runtime_error("cannot start the simulator: fork failed");
  if (pid == 0) {
    // Take the simulator down with the test process, even when that crashes.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
      _exit(1);
    execv(python.c_str(), const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  running_->pid = pid;

  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (!std::filesystem::exists(readyFile)) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      running_->pid = -1;
      throw std::runtime_error("the simulator exited during start-up");
    }
    if (std::chrono::steady_clock::now() > deadline)
      throw std::runtime_error("the simulator did not become ready in time");
    std::this_thread::sleep_for(kPollInterval);
  }
  std::ifstream in(readyFile);
  std::stringstream text;
  text << in.rdbuf();
  const JsonValue ready = JsonValue::parse(text.str());
  port_ = ready.at("port").get<int>();
  certificate_ = ready.at("cert").get<std::string>();
}

SimulatorProcess::~SimulatorProcess() = default;

ControlAnswer SendControlRequest(const char* method, const std::string& url,
                                 std::string_view body) {
  CurlEasy curl(curl_easy_init());
  if (!curl)
    throw std::runtime_error("curl_easy_init failed");
  ControlAnswer answer;
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl.get(), CURLOPT_CUSTOMREQUEST, method);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, kControlTimeoutSeconds);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, AppendToString);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &answer.body);
  if (!body.empty()) {
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  }
  const CURLcode result = curl_easy_perform(curl.get());
  if (result != CURLE_OK)
    throw std::runtime_error(url + ": " + curl_easy_strerror(result));
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &answer.status);
  return answer;
}

} // namespace tellavo::test
