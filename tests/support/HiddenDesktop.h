// Windows only: the process on a window station of its own that is not
// visible, as a service's or an IIS application pool's is, and a count of the
// windows that the calling thread tries to open meanwhile (refused, so that no
// dialog can wait for an answer).
#pragma once

#include "Platform.h"

namespace tellavo::test {

// Moves the process to a new, invisible window station; moves it back when
// the scope ends.
class ScopedHiddenWindowStation {
public:
  ScopedHiddenWindowStation();
  ~ScopedHiddenWindowStation();
  ScopedHiddenWindowStation(const ScopedHiddenWindowStation&) = delete;
  ScopedHiddenWindowStation& operator=(const ScopedHiddenWindowStation&) = delete;

private:
  HWINSTA previous_;
  HWINSTA hidden_;
};

// Counts the windows this thread tries to create while it lives, refusing
// each, so that a dialog fails at once instead of waiting.
class WindowCreationWatch {
public:
  WindowCreationWatch();
  ~WindowCreationWatch();
  WindowCreationWatch(const WindowCreationWatch&) = delete;
  WindowCreationWatch& operator=(const WindowCreationWatch&) = delete;

  int Attempts() const;

private:
  HHOOK hook_;
};

} // namespace tellavo::test
