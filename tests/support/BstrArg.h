// BSTR arguments and results of calls through IGateway's function table.
#pragma once

#include <string>
#include <string_view>

#include "Platform.h"
#include "common/Bstr.h"
#include "common/WideText.h"

namespace tellavo::test {

// A BSTR argument for the duration of a call; allocated even when empty, as
// a script's empty string is.
class Arg {
public:
  Arg(std::u16string_view text)
      : value_(BStr::Attach(SysAllocStringLen(Wide(text.data()), static_cast<UINT>(text.size())))) {
  }
  operator BSTR() const { return value_.Get(); }

private:
  BStr value_;
};

// The text of a BSTR result, freed here.
inline std::u16string Take(BSTR value) {
  return BStr::Attach(value).Text();
}

} // namespace tellavo::test
