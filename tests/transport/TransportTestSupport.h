// Helpers shared by the transport tests.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "Platform.h"
#include "common/Exceptions.h"
#include "common/Utf.h"

namespace tellavo::test {

// The operation the exchange tests post, and the process-wide time-out that
// the Gateway's queries set before theirs.
inline constexpr std::string_view kPath = "/GetOriginators/GetOriginators.asmx";
inline constexpr std::u16string_view kAction = u"http://ws.tellavo.example/getOriginators";
inline constexpr DWORD kBuiltInTimeout = 600000;

// The ESOAPHTTPException that `body` raises, or nothing (a test failure).
template <class Body> std::optional<ESOAPHTTPException> RaisedBy(Body&& body) {
  try {
    body();
  } catch (const ESOAPHTTPException& exception) {
    return exception;
  }
  ADD_FAILURE() << "no ESOAPHTTPException raised";
  return std::nullopt;
}

inline std::string MessageOf(const Exception& exception) {
  return Utf16ToUtf8(exception.Message());
}

} // namespace tellavo::test
