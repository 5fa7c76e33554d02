// Owner of a VARIANT: cleared when the owner goes, and before a call fills
// it again.
#pragma once

#include <string>

#include "Platform.h"
#include "common/Bstr.h"

namespace tellavo {

class OwnedVariant {
public:
  OwnedVariant() { VariantInit(&value_); }
  ~OwnedVariant() { VariantClear(&value_); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;

  // Clears the value held and offers the slot to a call that fills it.
  VARIANT* Out() {
    VariantClear(&value_);
    return &value_;
  }
  const VARIANT& Get() const { return value_; }
  const VARIANT* operator->() const { return &value_; }
  // The text of a VT_BSTR value; empty for any other type.
  std::u16string Text() const {
    return value_.vt == VT_BSTR ? std::u16string(BstrView(value_.bstrVal)) : std::u16string();
  }

private:
  VARIANT value_;
};

} // namespace tellavo
