// What the system says of an access token, read into memory of its own.
#pragma once

#include <memory>

#include "Platform.h"

namespace tellavo {

// The token's information of `kind` (TOKEN_USER, TOKEN_OWNER, ...); null
// when it cannot be read.
inline std::unique_ptr<BYTE[]> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  DWORD size = 0;
  GetTokenInformation(token, kind, nullptr, 0, &size);
  auto information = std::make_unique<BYTE[]>(size);
  if (size == 0 || !GetTokenInformation(token, kind, information.get(), size, &size))
    return nullptr;
  return information;
}

} // namespace tellavo
