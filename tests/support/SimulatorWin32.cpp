// The simulator that the test runner (wine-run) started for this program, and
// its control API over WinINet.
#include <cstdlib>
#include <stdexcept>

#include "Platform.h"
#include "SimulatorProcess.h"
#include "common/Utf.h"
#include "transport/HTTPReqResp.h"

namespace tellavo::test {
namespace {

constexpr std::string_view kDefaultNamespace = "http://ws.tellavo.example/";
constexpr DWORD kControlTimeoutMs = 60000;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0')
    throw std::runtime_error(std::string("no gateway simulator: ") + name +
                             " is not set (run the program through wine-run)");
  return value;
}

std::wstring Wide(std::string_view text) {
  const std::u16string utf16 = Utf8ToUtf16(text);
  return std::wstring(utf16.begin(), utf16.end());
}

InternetHandle Checked(HINTERNET handle, const char* what) {
  if (handle == nullptr)
    throw std::runtime_error(std::string("simulator control: ") + what + " failed, error " +
                             std::to_string(GetLastError()));
  return InternetHandle(handle);
}

} // namespace

struct SimulatorProcess::Running {};

SimulatorProcess::SimulatorProcess(std::string_view serviceNamespace) {
  if (serviceNamespace != kDefaultNamespace)
    throw std::runtime_error("the simulator started by the runner serves only " +
                             std::string(kDefaultNamespace));
  port_ = std::stoi(Environment("TELLAVO_SIMULATOR_PORT"));
  certificate_ = Environment("TELLAVO_SIMULATOR_CERT");
}

SimulatorProcess::~SimulatorProcess() = default;

ControlAnswer SendControlRequest(const char* method, const std::string& url,
                                 std::string_view body) {
  const std::wstring wideUrl = Wide(url);
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = 1;
  parts.dwUrlPathLength = 1;
  if (!InternetCrackUrlW(wideUrl.c_str(), 0, 0, &parts))
    throw std::runtime_error("simulator control: cannot split " + url);
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  const std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);

  const InternetHandle root =
      Checked(InternetOpenW(L"tellavo-tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0),
              "InternetOpenW");
  DWORD timeout = kControlTimeoutMs;
  InternetSetOptionW(root.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
  const InternetHandle connection =
      Checked(InternetConnectW(root.Get(), host.c_str(), parts.nPort, nullptr, nullptr,
                               INTERNET_SERVICE_HTTP, 0, 0),
              "InternetConnectW");
  const InternetHandle request = Checked(
      HttpOpenRequestW(connection.Get(), Wide(method).c_str(), path.c_str(), nullptr, nullptr,
                       nullptr, INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD, 0),
      "HttpOpenRequestW");
  if (!HttpSendRequestW(request.Get(), nullptr, 0, const_cast<char*>(body.data()),
                        static_cast<DWORD>(body.size())))
    throw std::runtime_error(url + ": no answer, error " + std::to_string(GetLastError()));

  ControlAnswer answer;
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                      &size, nullptr))
    throw std::runtime_error(url + ": no status");
  answer.status = static_cast<long>(status);
  char buffer[16384];
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request.Get(), buffer, sizeof buffer, &read))
      throw std::runtime_error(url + ": reading the answer failed, error " +
                               std::to_string(GetLastError()));
    if (read == 0)
      return answer;
    answer.body.append(buffer, read);
  }
}

} // namespace tellavo::test
