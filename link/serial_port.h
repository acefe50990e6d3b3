// The serial-port seam: the only platform-specific part of the link library.
// The frame transport and the commands talk to the port through these
// functions; port_posix.cpp implements them with termios + poll,
// port_win32.cpp with the Win32 communications API.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvex::link {

// An open, configured serial device. Opaque to the protocol code.
struct SerialHandle;

// Opens port `port` (1-based) exclusively and sets baud/8N1, raw transparent
// mode and the 1200 ms read deadline. nullptr on any failure (nothing left open).
SerialHandle *SerialOpen(int32_t port, int32_t baud);

// What the last SerialOpen did, for the trace: a word, then the device and
// the system's reason. The words: "ok", "no-device" (no device for this
// port number), "console" (refused), "missing", "permission", "busy" (held
// by another program), "not-serial", "setup" (the line settings were
// refused), "baud" (a rate the platform does not know), "error".
const char *SerialOpenOutcome();

// Closes the device. The result is not looked at by callers.
void SerialClose(SerialHandle *h);

// Discards bytes written but not yet sent.
void SerialPurgeTx(SerialHandle *h);
// Discards bytes received but not yet read.
void SerialPurgeRx(SerialHandle *h);

// Writes `n` bytes, then waits until they have left the port. Bounded in
// time; false when the bytes could not all be written and drained in time.
bool SerialWriteAll(SerialHandle *h, const uint8_t *data, size_t n);

// Reads up to `n` bytes; returns as soon as all `n` have arrived or when the
// 1200 ms deadline that starts now has passed, or the peer has gone.
// Returns the count that arrived.
size_t SerialRead(SerialHandle *h, uint8_t *dest, size_t n);

// The read deadline, fixed for every read.
constexpr int kReadTimeoutMs = 1200;

}  // namespace korvex::link
