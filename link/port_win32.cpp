// The serial-port seam on Windows, over the Win32 communications API.
//
// Port n is the device "\\.\COMn", opened for reading and writing with share
// mode 0 (no other opener while we hold it) and only if it exists. The line
// is set to the caller's baud rate, 8 data bits, no parity, one stop bit;
// reads end when every byte asked for has arrived or 1200 ms after they
// began, whichever comes first.
#include "link/serial_port.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <new>

namespace korvex::link {

struct SerialHandle {
    HANDLE device = INVALID_HANDLE_VALUE;
    bool outputStuck = false;  // the last write or flush did not complete
};

namespace {

char g_outcome[96] = "";  // SerialOpenOutcome()

// Records the outcome of this open; returns nullptr for the caller to pass on.
SerialHandle *Outcome(const char *word, const char *name, DWORD error = 0)
{
    if (error)
        std::snprintf(g_outcome, sizeof g_outcome, "%s %s (error %lu)", word, name,
                      static_cast<unsigned long>(error));
    else
        std::snprintf(g_outcome, sizeof g_outcome, "%s %s", word, name);
    return nullptr;
}

constexpr DWORD kRxQueueBytes = 512;
constexpr DWORD kTxQueueBytes = 2304;

// A write that the device does not take within this time fails instead of
// blocking the caller for good (a peer holding CTS off would otherwise
// freeze it). The largest frame, 1040 bytes, takes about 271 ms at 38400
// baud; the per-byte term keeps slower baud rates inside the bound too.
constexpr DWORD kWriteFixedMs = 2000;

DWORD WritePerByteMs(int32_t baud)
{
    // Ten bit times per byte (start, 8 data, stop), rounded up to whole
    // milliseconds: 1 ms at 38400 baud, 2 ms at 9600. `baud` is positive.
    return static_cast<DWORD>((10000 + static_cast<int64_t>(baud) - 1) / baud);
}

bool Configure(HANDLE device, int32_t baud)
{
    if (!SetupComm(device, kRxQueueBytes, kTxQueueBytes))
        return false;

    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(device, &dcb))
        return false;
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    // Frames carry every byte value: no XON/XOFF (0x11/0x13 are data),
    // no parity checking or error-character replacement, no dropping of
    // zero bytes. Hardware handshake stays as the device has it.
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    if (!SetCommState(device, &dcb))
        return false;

    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = kReadTimeoutMs;
    timeouts.WriteTotalTimeoutMultiplier = WritePerByteMs(baud);
    timeouts.WriteTotalTimeoutConstant = kWriteFixedMs;
    // Without the read deadline a silent controller would block the caller
    // for ever, so a port whose time-outs cannot be set is not used.
    return SetCommTimeouts(device, &timeouts) != 0;
}

}  // namespace

const char *SerialOpenOutcome()
{
    return g_outcome;
}

SerialHandle *SerialOpen(int32_t port, int32_t baud)
{
    char name[32];
    std::snprintf(name, sizeof(name), "\\\\.\\COM%d", static_cast<int>(port));
    // No device has a rate of zero or less; some drivers would take the
    // value (a negative one as a huge unsigned rate) without complaint.
    if (baud <= 0)
        return Outcome("baud", name);

    HANDLE device =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A port that another program holds answers "access denied".
        const char *word = error == ERROR_FILE_NOT_FOUND ? "missing"
                           : error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
                               ? "busy"
                               : "error";
        return Outcome(word, name, error);
    }

    if (!Configure(device, baud)) {
        const DWORD error = GetLastError();
        CloseHandle(device);
        return Outcome("setup", name, error);
    }

    auto *h = new (std::nothrow) SerialHandle;
    if (!h) {
        CloseHandle(device);
        return Outcome("error", name);
    }
    h->device = device;
    Outcome("ok", name);
    return h;
}

void SerialClose(SerialHandle *h)
{
    if (!h)
        return;
    CloseHandle(h->device);
    delete h;
}

void SerialPurgeTx(SerialHandle *h)
{
    // Once a flush has completed, everything written has left the port and
    // the transmit purge has nothing to discard, so it runs only after a
    // write or flush that did not complete. On a real port that is the same
    // thing; on a port that is a pseudo-terminal underneath (a Wine COM port
    // mapped to a pty) the purge would also throw away bytes the other side
    // has not read yet, such as a restart frame, which waits for no reply.
    if (h->outputStuck) {
        PurgeComm(h->device, PURGE_TXCLEAR);
        h->outputStuck = false;
    }
}

void SerialPurgeRx(SerialHandle *h)
{
    PurgeComm(h->device, PURGE_RXCLEAR);
}

bool SerialWriteAll(SerialHandle *h, const uint8_t *data, size_t n)
{
    DWORD written = 0;
    if (!WriteFile(h->device, data, static_cast<DWORD>(n), &written, nullptr) || written != n) {
        // The write ran into its time-out: the line is stalled, and a flush
        // (which has no time-out of its own) could block for good.
        h->outputStuck = true;
        return false;
    }
    h->outputStuck = FlushFileBuffers(h->device) == 0;
    return !h->outputStuck;
}

size_t SerialRead(SerialHandle *h, uint8_t *dest, size_t n)
{
    // One read: the device's time-outs end it when all `n` bytes are in or
    // 1200 ms after it began, and report the count that did arrive.
    // A failed read (the device gone) reports what it got before failing.
    DWORD got = 0;
    ReadFile(h->device, dest, static_cast<DWORD>(n), &got, nullptr);
    return got;
}

}  // namespace korvex::link
