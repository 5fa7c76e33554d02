// The process-wide time-outs of the platform's Internet client.
#pragma once

#include "Platform.h"

namespace tellavo {

// Sets the receive and then the connect time-out for the whole process; every
// later exchange that sets no time-out of its own works under them. The same
// value bounds each later exchange as a whole.
void SetInternetTimeouts(DWORD milliseconds);

// The longest one exchange may last, in milliseconds; 0 sets no limit (until
// the time-outs are first set).
DWORD ExchangeTimeLimit();

} // namespace tellavo
