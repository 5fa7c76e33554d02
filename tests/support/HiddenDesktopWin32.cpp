#include "support/HiddenDesktop.h"

#include <stdexcept>
#include <string>

namespace tellavo::test {
namespace {

thread_local int windowAttempts = 0;

LRESULT CALLBACK RefuseWindows(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    ++windowAttempts;
    return 1;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

ScopedHiddenWindowStation::ScopedHiddenWindowStation() : previous_(GetProcessWindowStation()) {
  const std::wstring name = L"TellavoHidden" + std::to_wstring(GetCurrentProcessId());
  hidden_ = CreateWindowStationW(name.c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
  if (hidden_ == nullptr || !SetProcessWindowStation(hidden_))
    throw std::runtime_error("cannot move to a window station of its own, error " +
                             std::to_string(GetLastError()));
}

ScopedHiddenWindowStation::~ScopedHiddenWindowStation() {
  SetProcessWindowStation(previous_);
  CloseWindowStation(hidden_);
}

WindowCreationWatch::WindowCreationWatch()
    : hook_(SetWindowsHookExW(WH_CBT, RefuseWindows, nullptr, GetCurrentThreadId())) {
  if (hook_ == nullptr)
    throw std::runtime_error("cannot watch window creation, error " +
                             std::to_string(GetLastError()));
  windowAttempts = 0;
}

WindowCreationWatch::~WindowCreationWatch() {
  UnhookWindowsHookEx(hook_);
}

int WindowCreationWatch::Attempts() const {
  return windowAttempts;
}

} // namespace tellavo::test
