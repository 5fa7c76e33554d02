// An open file descriptor and the writes that a file's contents rely on.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "common/UniqueHandle.h"

namespace tellavo {

// An open file descriptor, closed when it goes.
using FileDescriptor = UniqueHandle<int, close, -1>;

// Writes all of `bytes` to `fd`, through interruptions and short writes.
inline bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

} // namespace tellavo
