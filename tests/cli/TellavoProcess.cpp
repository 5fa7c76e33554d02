#include "TellavoProcess.h"

#include <gtest/gtest.h>

#include <random>

namespace tellavo::test {
std::vector<std::string> TellavoRun::OutLines() const {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(out.substr(start, end - start));
  if (start < out.size())
    lines.push_back(out.substr(start));
  return lines;
}

std::vector<JsonValue> TellavoRun::OutJson() const {
  std::vector<JsonValue> lines;
  for (const std::string& line : OutLines()) {
    EXPECT_TRUE(HasDocumentedSpacing(line)) << line;
    lines.push_back(JsonValue::parse(line));
  }
  return lines;
}

bool HasDocumentedSpacing(std::string_view line) {
  bool inText = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (inText) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inText = false;
    } else if (c == '"') {
      inText = true;
    } else if (c == ':' || c == ',') {
      if (i + 1 == line.size() || line[i + 1] != ' ')
        return false;
      ++i; // the one blank; a second is caught as any other
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      return false;
    }
  }
  return !inText;
}

TempFolder::TempFolder() {
  std::random_device random;
  do
    path_ = std::filesystem::temp_directory_path() / ("tellavo-cli-" + std::to_string(random()));
  while (!std::filesystem::create_directory(path_));
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

} // namespace tellavo::test
