// The run-time settings of this process for one scope, kept where an
// administrator keeps them: on posix in a file of its own that TELLAVO_CONFIG
// names, on Windows as values under HKLM\SOFTWARE\Tellavo. The scope starts
// with no setting stored and puts back what was there before when it ends.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace tellavo::test {

class ScopedSettings {
public:
  ScopedSettings();
  ~ScopedSettings();
  ScopedSettings(const ScopedSettings&) = delete;
  ScopedSettings& operator=(const ScopedSettings&) = delete;

  // Stores a setting as text (a line, or REG_SZ) or as a number (a line, or
  // REG_DWORD), replacing an earlier value of the same name.
  void SetText(const std::string& name, const std::string& text);
  void SetNumber(const std::string& name, uint32_t value);
  // Stores an entry that no setting can be: a line without "=", or a value
  // of type REG_BINARY. The name is part of the entry.
  void SetMalformed(const std::string& name);
  void Remove(const std::string& name);

  // Where the values are read, as the module's messages name it.
  std::string Origin() const;

private:
  struct State;
  std::unique_ptr<State> state_;
};

} // namespace tellavo::test
