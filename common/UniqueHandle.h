// Owner of one handle of the system (a registry key, a module, a file
// descriptor, a kernel object, an Internet handle), closed by `Close` when
// the owner goes. `Invalid` is the value that stands for no handle.
#pragma once

#include <utility>

namespace tellavo {

template <class Handle, auto Close, Handle Invalid = Handle{}> class UniqueHandle {
public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Handle Get() const noexcept { return handle_; }
  bool Valid() const noexcept { return handle_ != Invalid; }

  // The slot that a function opening a handle fills; a handle held before
  // is closed first.
  Handle* Out() noexcept {
    reset();
    return &handle_;
  }

  // Gives the handle up without closing it.
  Handle Release() noexcept { return std::exchange(handle_, Invalid); }

  // Closes the handle held, if any, and holds `handle` instead.
  void reset(Handle handle = Invalid) noexcept {
    if (handle_ != Invalid)
      Close(handle_);
    handle_ = handle;
  }

private:
  Handle handle_ = Invalid;
};

} // namespace tellavo
