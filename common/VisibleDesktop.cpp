#include "common/VisibleDesktop.h"

#include "Platform.h"

namespace tellavo {

bool DesktopIsVisible() {
  const HWINSTA station = GetProcessWindowStation();
  if (station == nullptr)
    return false;
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  return GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

} // namespace tellavo
