// Owning reference to a COM interface.
#pragma once

#include <utility>

#include "Platform.h"

namespace tellavo {

template <class T> class ComPtr {
public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes an existing reference without adding one.
  static ComPtr Attach(T* pointer) {
    ComPtr owned;
    owned.pointer_ = pointer;
    return owned;
  }
  // Adds a reference of its own.
  static ComPtr Share(T* pointer) {
    if (pointer != nullptr)
      pointer->AddRef();
    return Attach(pointer);
  }
  ComPtr(const ComPtr& other) : pointer_(other.pointer_) {
    if (pointer_ != nullptr)
      pointer_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(pointer_, other.pointer_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  void Reset() {
    if (T* old = std::exchange(pointer_, nullptr))
      old->Release();
  }
  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  T* Detach() { return std::exchange(pointer_, nullptr); }
  // Releases the current reference and offers the slot to a function that fills it.
  T** Out() {
    Reset();
    return &pointer_;
  }
  // Asks the object for another interface; empty when it has none.
  template <class U> ComPtr<U> Query(REFIID iid) const {
    ComPtr<U> other;
    if (pointer_ != nullptr)
      pointer_->QueryInterface(iid, reinterpret_cast<void**>(other.Out()));
    return other;
  }

private:
  T* pointer_ = nullptr;
};

} // namespace tellavo
