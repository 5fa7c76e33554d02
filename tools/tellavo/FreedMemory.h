// Memory the client has freed goes back to the system when a large send no
// longer needs it: the heap would otherwise keep the room of the messages
// read and queued while the module builds and sends the request.
#pragma once

namespace tellavo::cli {

// Defined per platform.
void ReturnFreedMemory();

} // namespace tellavo::cli
