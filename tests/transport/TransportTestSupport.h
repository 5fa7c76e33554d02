// Helpers shared by the transport tests.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/Exceptions.h"
#include "common/Utf.h"

namespace tellavo::test {

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
