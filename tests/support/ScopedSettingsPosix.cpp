#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "support/Environment.h"
#include "support/ScopedSettings.h"

namespace tellavo::test {

struct ScopedSettings::State {
  std::filesystem::path path;
  std::optional<std::string> savedVariable;
  // Each name with the whole line that stores it.
  std::map<std::string, std::string> lines;

  void Write() const {
    std::ofstream file(path, std::ios::trunc);
    file << "# written by a test\n";
    for (const auto& entry : lines)
      file << entry.second << '\n';
  }
};

ScopedSettings::ScopedSettings() : state_(std::make_unique<State>()) {
  static int serial = 0;
  state_->path = std::filesystem::temp_directory_path() /
                 ("tellavo-" + std::to_string(getpid()) + "-" + std::to_string(++serial) + ".conf");
  state_->savedVariable = GetEnvironment("TELLAVO_CONFIG");
  state_->Write();
  SetEnvironment("TELLAVO_CONFIG", state_->path.string());
}

ScopedSettings::~ScopedSettings() {
  SetEnvironment("TELLAVO_CONFIG", state_->savedVariable);
  std::filesystem::remove(state_->path);
}

void ScopedSettings::SetText(const std::string& name, const std::string& text) {
  state_->lines[name] = name + " = " + text;
  state_->Write();
}

void ScopedSettings::SetNumber(const std::string& name, uint32_t value) {
  SetText(name, std::to_string(value));
}

void ScopedSettings::SetMalformed(const std::string& name) {
  state_->lines[name] = name + " is on";
  state_->Write();
}

void ScopedSettings::Remove(const std::string& name) {
  state_->lines.erase(name);
  state_->Write();
}

std::string ScopedSettings::Origin() const {
  return "file " + state_->path.string();
}

} // namespace tellavo::test
