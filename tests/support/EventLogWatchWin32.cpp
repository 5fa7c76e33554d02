#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "EventLogWatch.h"

namespace tellavo::test {
namespace {

constexpr std::string_view kTraceMark = ":err:eventlog:ReportEventW L\"";

// The trace file that the test runner collects this process's standard error
// in.
std::string TracePath() {
  const char* path = std::getenv("TELLAVO_EVENT_TRACE");
  if (path == nullptr || *path == '\0')
    throw std::runtime_error("TELLAVO_EVENT_TRACE is not set (run the program through wine-run)");
  return path;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  throw std::runtime_error("bad escape in the event trace");
}

// Undoes the trace's escaping: \n \r \t \" \\ and \XXXX for every other
// character outside printable ASCII. The text ends at the closing quote.
std::u16string Unescape(std::string_view quoted) {
  std::u16string text;
  for (size_t i = 0; i < quoted.size(); ++i) {
    const char c = quoted[i];
    if (c == '"')
      break;
    if (c != '\\' || i + 1 == quoted.size()) {
      text += static_cast<char16_t>(static_cast<unsigned char>(c));
      continue;
    }
    const char e = quoted[++i];
    switch (e) {
    case 'n':
      text += u'\n';
      break;
    case 'r':
      text += u'\r';
      break;
    case 't':
      text += u'\t';
      break;
    case '"':
      text += u'"';
      break;
    case '\\':
      text += u'\\';
      break;
    default: {
      if (i + 4 > quoted.size())
        throw std::runtime_error("short escape in the event trace");
      char16_t unit = 0;
      for (size_t k = 0; k < 4; ++k)
        unit = static_cast<char16_t>(unit * 16 + HexDigit(quoted[i + k]));
      text += unit;
      i += 3;
    }
    }
  }
  return text;
}

} // namespace

struct EventLogWatch::State {
  std::string path = TracePath();
  std::streamoff start = 0;

  std::streamoff End() const {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<std::streamoff>(in.tellg()) : 0;
  }
};

EventLogWatch::EventLogWatch() : state_(std::make_unique<State>()) {
  state_->start = state_->End();
}

EventLogWatch::~EventLogWatch() = default;

std::vector<std::u16string> EventLogWatch::Texts() const {
  std::ifstream in(state_->path, std::ios::binary);
  in.seekg(state_->start);
  std::vector<std::u16string> texts;
  std::string line;
  while (std::getline(in, line)) {
    const size_t mark = line.find(kTraceMark);
    if (mark != std::string::npos)
      texts.push_back(Unescape(std::string_view(line).substr(mark + kTraceMark.size())));
  }
  return texts;
}

void EventLogWatch::Clear() {
  state_->start = state_->End();
}

bool EventLogWatch::SeesEntryDetails() {
  return false;
}

bool EventLogWatch::AllAreFailureReports() const {
  return true;
}

} // namespace tellavo::test
