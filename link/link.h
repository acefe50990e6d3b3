// Internals of the link library shared by the exported functions: the one
// process-wide port state and the frame exchange. Nothing here is exported.
#pragma once

#include <cstdint>
#include <cstdio>

#include "link/serial_port.h"

namespace korvex::link {

// The port state: open flag and handle. Starts closed when the library is
// loaded (constant-initialised, so loading runs no code) and is never
// closed on unload.
struct PortState {
    int32_t open = 0;
    SerialHandle *handle = nullptr;
    FILE *trace = nullptr;  // this connection's trace (link/trace.h), nullptr when off
};
PortState &Port();

// ComInitial / ComClose.
int32_t PortOpen(int32_t port, int32_t baud);
int32_t PortClose();

// Sends the frame for `payload` (n bytes, the command letter first) and
// judges the reply; at most two attempts. `dest` (1024 bytes) receives the
// reply of 'A' on success and is untouched otherwise. 1 or 0.
int32_t ExchangeFrame(int32_t n, const uint8_t *payload, uint8_t *dest);

}  // namespace korvex::link
