// Setting and removing this process's environment variables on both targets.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace tellavo::test {

inline std::optional<std::string> GetEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

// Sets the variable, or removes it when the value is absent.
inline void SetEnvironment(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
  // An empty value removes a variable on Windows.
  _putenv_s(name, value ? value->c_str() : "");
#else
  if (value)
    setenv(name, value->c_str(), 1);
  else
    unsetenv(name);
#endif
}

} // namespace tellavo::test
