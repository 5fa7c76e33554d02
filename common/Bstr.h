// Owning wrapper of a BSTR; the null BSTR stands for the empty string.
#pragma once

#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "Platform.h"
#include "common/WideText.h"

namespace tellavo {

// The text of a BSTR that the caller does not own.
inline std::u16string_view BstrView(BSTR text) {
  return text == nullptr ? std::u16string_view()
                         : std::u16string_view(FromWide(text), SysStringLen(text));
}

class BStr {
public:
  BStr() = default;
  explicit BStr(std::u16string_view text) {
    if (text.empty())
      return;
    value_ = SysAllocStringLen(Wide(text.data()), static_cast<UINT>(text.size()));
    if (value_ == nullptr)
      throw std::bad_alloc();
  }
  BStr(BStr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
  BStr& operator=(BStr&& other) noexcept {
    if (this != &other)
      Reset(std::exchange(other.value_, nullptr));
    return *this;
  }
  BStr(const BStr&) = delete;
  BStr& operator=(const BStr&) = delete;
  ~BStr() { SysFreeString(value_); }

  static BStr Attach(BSTR value) {
    BStr owned;
    owned.value_ = value;
    return owned;
  }

  BSTR Get() const { return value_; }
  // Hands ownership to the caller (for an out-parameter).
  BSTR Detach() { return std::exchange(value_, nullptr); }
  // Frees the current value and offers the slot to a function that fills it.
  BSTR* Out() {
    Reset(nullptr);
    return &value_;
  }
  std::u16string_view View() const { return BstrView(value_); }
  std::u16string Text() const { return std::u16string(View()); }

private:
  void Reset(BSTR value) {
    SysFreeString(value_);
    value_ = value;
  }

  BSTR value_ = nullptr;
};

} // namespace tellavo
