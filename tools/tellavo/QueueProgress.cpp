#include "tools/tellavo/QueueProgress.h"

#include <string>

namespace tellavo::cli {

QueueProgress::QueueProgress(size_t total, bool shown, std::ostream& out)
    : total_(total), shown_(shown && total > 0), out_(out) {}

QueueProgress::~QueueProgress() {
  Clear();
}

void QueueProgress::Step() {
  ++done_;
  if (!shown_)
    return;
  const size_t percent = done_ * 100 / total_;
  if (drawnWidth_ != 0 && percent == drawnPercent_)
    return;
  const std::string line = "queued " + std::to_string(done_) + " of " + std::to_string(total_) +
                           " messages (" + std::to_string(percent) + "%)";
  out_ << '\r' << line << std::flush;
  drawnPercent_ = percent;
  drawnWidth_ = line.size();
}

void QueueProgress::Clear() {
  if (drawnWidth_ == 0)
    return;
  // Blanks over the line: a terminal without control sequences clears it too.
  out_ << '\r' << std::string(drawnWidth_, ' ') << '\r' << std::flush;
  drawnWidth_ = 0;
}

} // namespace tellavo::cli
