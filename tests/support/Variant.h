// A VARIANT that a test owns: cleared when it goes, and before a call fills
// it again. Header-only, so that programs without the support library (the
// fuzzers, the server's tests) take it as "tests/support/Variant.h".
#pragma once

#include "Platform.h"

namespace tellavo::test {

class Variant {
public:
  Variant() { VariantInit(&value_); }
  ~Variant() { VariantClear(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  // Clears the value held and offers the slot to a call that fills it.
  VARIANT* Out() {
    VariantClear(&value_);
    return &value_;
  }
  const VARIANT& operator*() const { return value_; }
  const VARIANT* operator->() const { return &value_; }

private:
  VARIANT value_;
};

} // namespace tellavo::test
