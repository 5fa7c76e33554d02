// Calls the methods of an automation object by name, the way a script
// engine does: GetIDsOfNames, then Invoke with the arguments as BSTRs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform.h"
#include "common/ComPtr.h"

namespace tellavo::cli {

struct CallResult {
  HRESULT hresult = S_OK;
  // The method's string result; none for a procedure or a failed call.
  std::optional<std::u16string> retvalue;
  // What the failure's error object (or exception information) says.
  std::u16string error;

  bool Succeeded() const { return hresult == S_OK; }
};

class LateBoundObject {
public:
  explicit LateBoundObject(ComPtr<IDispatch> object) : object_(std::move(object)) {}

  CallResult Call(std::u16string_view method, const std::vector<std::u16string>& arguments) const;

private:
  ComPtr<IDispatch> object_;
};

} // namespace tellavo::cli
