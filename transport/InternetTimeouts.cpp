#include "transport/InternetTimeouts.h"

namespace tellavo {

void SetInternetTimeouts(DWORD milliseconds) {
  // The null handle addresses the whole process; the results say nothing a
  // caller could act on.
  DWORD value = milliseconds;
  InternetSetOptionW(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, sizeof value);
  InternetSetOptionW(nullptr, INTERNET_OPTION_CONNECT_TIMEOUT, &value, sizeof value);
}

} // namespace tellavo
