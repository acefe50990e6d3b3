// Which device a port number names on Linux. The link library opens what
// this says, and korvex-cli names the same device in its messages, so the
// two can never disagree.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvex::link {

// Device path of port n (1-based): $KORVEX_COM<n> when set, else
// /dev/ttyS<n-1>. Writes a NUL-terminated path of at most `size` bytes.
void PortDevicePath(int32_t port, char *out, size_t size);

}  // namespace korvex::link
