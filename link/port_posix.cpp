// The serial port on POSIX systems: termios for the line settings, poll for
// bounded reads and writes, flock + TIOCEXCL for exclusive use, and the
// driver's low-latency mode where it has one.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include "link/clock.h"
#include "link/port_posix.h"
#include "link/port_names.h"
#include "link/serial_port.h"

namespace korvex::link {

struct SerialHandle {
    int fd = -1;
    int32_t baud = 0;
    bool outputStuck = false;    // the last write or drain ran past its bound
    bool lowLatencySet = false;  // ASYNC_LOW_LATENCY was switched on by the open
};

namespace {

int g_writeSlackMs = 2000;
char g_deviceRoot[4096] = "";  // where the naming rule looks; tests only
SerialHandle g_handle;         // fd -1 while no port is open
// SerialOpenOutcome(): static, like the handle, so that opening takes no
// dynamic memory beyond what the naming rule needs.
char g_outcome[4096 + 128] = "";

// Records the outcome of this open; returns nullptr for the caller to pass on.
SerialHandle *Outcome(const char *word, const std::string &path, int error = 0)
{
    if (error)
        std::snprintf(g_outcome, sizeof g_outcome, "%s %s (%s)", word, path.c_str(),
                      std::strerror(error));
    else
        std::snprintf(g_outcome, sizeof g_outcome, "%s %s", word, path.c_str());
    return nullptr;
}

// The outcome word for an open(2) that failed with `error`.
const char *OpenErrorWord(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:  // a node whose hardware is not there
    case ENODEV: return "missing";
    case EACCES:
    case EPERM:
    case EROFS: return "permission";
    case EBUSY: return "busy";  // held with TIOCEXCL by another program
    default: return "error";
    }
}

struct BaudEntry {
    int32_t baud;
    speed_t speed;
};

// The rates termios knows on this platform.
constexpr BaudEntry kBaudTable[] = {
    {50, B50},           {75, B75},     {110, B110},   {134, B134},     {150, B150},
    {200, B200},         {300, B300},   {600, B600},   {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
#ifdef B57600
    {57600, B57600},
#endif
#ifdef B115200
    {115200, B115200},
#endif
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

bool SpeedOf(int32_t baud, speed_t *speed)
{
    for (const BaudEntry &e : kBaudTable) {
        if (e.baud == baud) {
            *speed = e.speed;
            return true;
        }
    }
    return false;
}

timespec ToTimespec(int64_t ns)
{
    if (ns < 0)
        ns = 0;
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    return ts;
}

// Waits for `events` on fd until the absolute monotonic `deadline`.
// Returns the revents (0 when the deadline passed), -1 on a poll error.
int WaitFor(int fd, short events, int64_t deadline)
{
    for (;;) {
        const int64_t left = deadline - NowNs();
        if (left <= 0)
            return 0;
        pollfd p{fd, events, 0};
        const timespec ts = ToTimespec(left);
        const int r = ppoll(&p, 1, &ts, nullptr);
        if (r > 0)
            return p.revents;
        if (r == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

// Asks the driver to hand on received bytes at once instead of after its
// usual batching delay (USB serial adapters wait up to 16 ms), which every
// exchange would otherwise pay. Best effort: a driver without the setting
// (a pty, most USB ACM devices) or one that refuses it is used as it is.
bool AskLowLatency(int fd)
{
#if defined(__linux__) && defined(TIOCGSERIAL) && defined(ASYNC_LOW_LATENCY)
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) != 0 || (ss.flags & ASYNC_LOW_LATENCY))
        return false;
    ss.flags |= ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &ss) == 0;
#else
    (void)fd;
    return false;
#endif
}

// Gives the driver its own setting back when the open switched it on.
void DropLowLatency(int fd)
{
#if defined(__linux__) && defined(TIOCGSERIAL) && defined(ASYNC_LOW_LATENCY)
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) == 0) {
        ss.flags &= ~ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &ss);
    }
#else
    (void)fd;
#endif
}

void Release(int fd, bool dropOutput)
{
    ioctl(fd, TIOCNXCL);
    // After a write that ran past its bound, drop what could not be sent so
    // close() does not wait on a flow-controlled line. Never otherwise: on a
    // pty the flush also discards bytes the peer has not read yet, such as
    // the restart frame that ends every upload.
    if (dropOutput)
        tcflush(fd, TCOFLUSH);
    close(fd);  // also releases the flock
}

// 8N1, raw, receiver on, modem lines ignored; hardware flow control as it was.
void MakeRaw(termios &t, speed_t speed)
{
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    // VMIN 1 with O_NONBLOCK: an empty queue reads as EAGAIN, so a read of
    // 0 bytes means the line has hung up (VMIN 0 would return 0 instead).
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
}

bool SettingsHold(const termios &t, speed_t speed)
{
    const tcflag_t rawIn = IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | PARMRK;
    const tcflag_t rawLocal = ECHO | ICANON | ISIG | IEXTEN;
    return cfgetospeed(&t) == speed && cfgetispeed(&t) == speed && (t.c_cflag & CSIZE) == CS8 &&
           !(t.c_cflag & (PARENB | CSTOPB)) && (t.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD) &&
           !(t.c_iflag & rawIn) && !(t.c_oflag & OPOST) && !(t.c_lflag & rawLocal);
}

}  // namespace

int SerialSetWriteSlackMs(int ms)
{
    const int old = g_writeSlackMs;
    g_writeSlackMs = ms;
    return old;
}

std::string SerialSetDeviceRoot(const std::string &root)
{
    const std::string old = g_deviceRoot;
    std::snprintf(g_deviceRoot, sizeof g_deviceRoot, "%s", root.c_str());
    return old;
}

const char *SerialOpenOutcome()
{
    return g_outcome;
}

SerialHandle *SerialOpen(int32_t port, int32_t baud)
{
    if (port < 1)
        return Outcome("no-device", "port " + std::to_string(port));
    speed_t speed{};
    if (!SpeedOf(baud, &speed))
        return Outcome("baud", std::to_string(baud));
    const PortDevice device = ResolvePort(port, g_deviceRoot);
    const std::string &path = device.path;
    if (path.empty())
        return Outcome("no-device", "port " + std::to_string(port));
    // Decided before anything opens it: even an open would be too much.
    if (device.console)
        return Outcome("console", path);

    // Never created; non-blocking so neither the open nor any later I/O can
    // hang on modem lines or flow control.
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return Outcome(OpenErrorWord(error), path, error);
    }
    // The name could have been re-aimed at the console between the look
    // and the open: what was opened is checked too, and let go untouched.
    if (IsKernelConsole("/proc/self/fd/" + std::to_string(fd), g_deviceRoot)) {
        close(fd);
        return Outcome("console", path);
    }
    if (!isatty(fd)) {
        close(fd);
        return Outcome("not-serial", path);
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        return Outcome(error == EWOULDBLOCK ? "busy" : "error", path, error);
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        close(fd);
        return Outcome("setup", path, error);
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        const int error = errno;
        Release(fd, false);
        return Outcome("setup", path, error);
    }
    MakeRaw(t, speed);
    termios back{};
    if (tcsetattr(fd, TCSANOW, &t) != 0 || tcgetattr(fd, &back) != 0 ||
        !SettingsHold(back, speed)) {
        Release(fd, false);
        return Outcome("setup", path);
    }
    // One port at a time: the handle lives in static storage.
    if (g_handle.fd >= 0) {
        Release(fd, false);
        return Outcome("error", path);
    }
    g_handle.fd = fd;
    g_handle.baud = baud;
    g_handle.lowLatencySet = AskLowLatency(fd);
    Outcome("ok", path);
    return &g_handle;
}

void SerialClose(SerialHandle *h)
{
    if (!h || h->fd < 0)
        return;
    if (h->lowLatencySet)
        DropLowLatency(h->fd);
    Release(h->fd, h->outputStuck);
    h->fd = -1;
    h->outputStuck = false;
    h->lowLatencySet = false;
}

void SerialPurgeTx(SerialHandle *h)
{
    // Only output the driver still holds, or the rest of a write that ran
    // past its bound. A pty reports nothing queued, and TCOFLUSH there
    // would take back a frame that has left this side but that the peer has
    // not read yet (a restart followed at once by the next command).
    int queued = 0;
    if (h->outputStuck || ioctl(h->fd, TIOCOUTQ, &queued) != 0 || queued > 0)
        tcflush(h->fd, TCOFLUSH);
}

void SerialPurgeRx(SerialHandle *h)
{
    tcflush(h->fd, TCIFLUSH);
}

namespace {

bool WriteAndDrain(SerialHandle *h, const uint8_t *data, size_t n)
{
    // The bytes' line time at 10 bits a byte, plus the slack.
    const int64_t lineNs = static_cast<int64_t>(n) * 10 * 1000000000 / h->baud;
    const int64_t deadline = NowNs() + lineNs + static_cast<int64_t>(g_writeSlackMs) * 1000000;

    size_t done = 0;
    while (done < n) {
        const ssize_t w = write(h->fd, data + done, n - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int ev = WaitFor(h->fd, POLLOUT, deadline);
            if (ev <= 0 || (ev & (POLLERR | POLLHUP | POLLNVAL)))
                return false;
            continue;
        }
        return false;
    }

    // Drain: wait until the output queue is empty, in steps of its line
    // time, then let the driver finish the last bytes.
    const int64_t byteNs = 10LL * 1000000000 / h->baud;
    for (;;) {
        int queued = 0;
        if (ioctl(h->fd, TIOCOUTQ, &queued) != 0 || queued <= 0)
            break;
        const int64_t left = deadline - NowNs();
        if (left <= 0)
            return false;
        int64_t step = queued * byteNs;
        if (step < 100000)
            step = 100000;
        if (step > left)
            step = left;
        const timespec ts = ToTimespec(step);
        nanosleep(&ts, nullptr);
    }
    while (tcdrain(h->fd) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

}  // namespace

bool SerialWriteAll(SerialHandle *h, const uint8_t *data, size_t n)
{
    const bool ok = WriteAndDrain(h, data, n);
    h->outputStuck = !ok;
    return ok;
}

size_t SerialRead(SerialHandle *h, uint8_t *dest, size_t n)
{
    const int64_t deadline = NowNs() + static_cast<int64_t>(kReadTimeoutMs) * 1000000;
    size_t got = 0;
    while (got < n) {
        const ssize_t r = read(h->fd, dest + got, n - got);
        if (r > 0) {
            got += static_cast<size_t>(r);
            continue;
        }
        if (r == 0)
            break;  // hung up: the peer has gone
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            break;  // EIO and the like: the device has gone
        const int ev = WaitFor(h->fd, POLLIN, deadline);
        if (ev <= 0)
            break;  // deadline passed (or poll failed)
        if (!(ev & POLLIN) && (ev & (POLLHUP | POLLERR | POLLNVAL)))
            break;
    }
    return got;
}

}  // namespace korvex::link
