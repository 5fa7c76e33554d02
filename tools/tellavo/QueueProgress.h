// The count of queued messages on standard error while a send queues them,
// redrawn in place on one line, for a person watching a terminal. When
// standard error is no terminal (a script, a log file) nothing is written.
#pragma once

#include <cstddef>
#include <ostream>

namespace tellavo::cli {

// Defined per platform.
bool StandardErrorIsTerminal();

class QueueProgress {
public:
  // Draws on `out` when `shown`.
  QueueProgress(size_t total, bool shown, std::ostream& out);
  // Clears the line.
  ~QueueProgress();
  QueueProgress(const QueueProgress&) = delete;
  QueueProgress& operator=(const QueueProgress&) = delete;

  // One more message is queued; the line is redrawn when the percentage
  // changes, so at most a hundred times however large the send.
  void Step();
  // Clears the line, so that a message can be written; the next step
  // draws it again.
  void Clear();

private:
  size_t total_;
  bool shown_;
  std::ostream& out_;
  size_t done_ = 0;
  size_t drawnPercent_ = 0;
  size_t drawnWidth_ = 0; // 0: nothing on the line
};

} // namespace tellavo::cli
