// The process-wide time-outs of the platform's Internet client.
#pragma once

#include "Platform.h"

namespace tellavo {

// Sets the receive and then the connect time-out for the whole process; every
// later exchange that sets no time-out of its own works under them.
void SetInternetTimeouts(DWORD milliseconds);

} // namespace tellavo
