// The simulated controller: a pseudo-terminal whose slave side the host
// opens as its serial device, served by one thread that parses request
// frames, keeps 1 MiB of controller memory and answers as a card would.
#include "sim/simulator.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace korvex::sim {

namespace {

constexpr size_t kMemorySize = static_cast<size_t>(kPages) * kPageSize;
constexpr uint8_t kHeader[9] = {0x1B, '$', 'Q', 'u', 'o', 'r', 'l', '0', 'P'};
constexpr size_t kMaxPayload = 1027;
// Offset of the configuration record: page 127, block 3, byte 512.
constexpr size_t kRecordOffset = 127 * kPageSize + 3 * kBlockSize + 512;
// A partial frame with no new byte for this long is given up, so a host
// that abandoned a frame half-way cannot make the next one wait.
constexpr int64_t kStaleFrameNs = 200'000'000;
// Paced replies go out in slices of this many bytes.
constexpr size_t kPaceSlice = 32;

int64_t NowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// CRC-16/XMODEM computed bit by bit: the simulator keeps its own so it
// checks the host's table-driven one rather than sharing it.
uint16_t Crc16(const uint8_t *data, size_t n)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

const char *FaultName(Fault f)
{
    switch (f) {
    case Fault::None: return "none";
    case Fault::NoReply: return "no-reply";
    case Fault::ShortReply: return "short";
    case Fault::NotOk: return "not-ok";
    case Fault::LateReply: return "late";
    case Fault::ExtraBytes: return "extra";
    case Fault::Unplug: return "unplug";
    }
    return "?";
}

struct Pending {
    int64_t due;
    std::vector<uint8_t> bytes;
};

}  // namespace

struct Simulator::Impl {
    Options opt;
    mutable std::mutex mu;

    // Guarded by mu.
    std::vector<uint8_t> mem = std::vector<uint8_t>(kMemorySize, 0);
    Fault fault = Fault::None;
    int faultFrom = 1;
    int faultCount = -1;
    int shortLength = -1;
    std::vector<FrameLogEntry> log;
    std::map<char, std::vector<uint8_t>> lastPayload;
    std::map<char, int> counts;
    int frames = 0;
    int garbage = 0;
    int64_t lastReplyNs = 0;

    // Owned by the serving thread once it runs.
    int master = -1;
    int slaveHold =
        -1;  // keeps the slave open so the master never sees a hang-up between host opens
    int wake[2] = {-1, -1};
    std::string slavePath;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> unplugRequested{false};
    std::atomic<bool> serving{false};
    std::vector<uint8_t> rx;
    int64_t lastRxNs = 0;
    int64_t rxStartNs = 0;     // arrival of the chunk holding rx[0]
    std::vector<Pending> out;  // sorted by due time

    void InitMemory();
    bool LoadMemory();
    bool SaveMemoryLocked() const;
    void Serve();
    void CloseSide();
    void Parse(int64_t now);
    void HandleFrame(const uint8_t *payload, size_t n, int64_t arrivalNs);
    void Schedule(std::vector<uint8_t> reply, size_t requestBytes, int64_t arrivalNs, bool late);
    bool FlushDue(int64_t now);
    bool FaultActive(int frame) const
    {
        if (fault == Fault::None || frame < faultFrom)
            return false;
        return faultCount < 0 || frame < faultFrom + faultCount;
    }
};

void Simulator::Impl::InitMemory()
{
    std::fill(mem.begin(), mem.end(), 0);
    uint8_t *r = mem.data() + kRecordOffset;
    if (opt.signature) {
        r[0] = 'V';
        r[1] = 'e';
        r[2] = 'r';
    }
    const std::string fw = opt.firmware.size() >= 3 ? opt.firmware : std::string("1.1");
    r[3] = static_cast<uint8_t>(fw[0]);
    r[4] = static_cast<uint8_t>(fw[1]);
    r[5] = static_cast<uint8_t>(fw[2]);
    r[8] = 0x08;  // pixel count 2048, big-endian
    r[9] = 0x00;
}

bool Simulator::Impl::LoadMemory()
{
    if (opt.memoryFile.empty())
        return false;
    FILE *f = std::fopen(opt.memoryFile.c_str(), "rb");
    if (!f)
        return false;
    std::vector<uint8_t> image(kMemorySize);
    const size_t got = std::fread(image.data(), 1, image.size(), f);
    const bool exact = got == image.size() && std::fgetc(f) == EOF;
    std::fclose(f);
    if (!exact)
        return false;  // not a memory image of ours: start fresh, overwrite on save
    mem.swap(image);
    return true;
}

bool Simulator::Impl::SaveMemoryLocked() const
{
    if (opt.memoryFile.empty())
        return false;
    const std::string tmp = opt.memoryFile + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(mem.data(), 1, mem.size(), f) == mem.size();
    if (std::fclose(f) != 0 || !ok) {
        std::remove(tmp.c_str());
        return false;
    }
    return std::rename(tmp.c_str(), opt.memoryFile.c_str()) == 0;
}

void Simulator::Impl::CloseSide()
{
    // The master first: the host's open slave is hung up at once.
    if (master >= 0)
        close(master);
    if (slaveHold >= 0)
        close(slaveHold);
    master = slaveHold = -1;
    out.clear();
    rx.clear();
}

void Simulator::Impl::Schedule(std::vector<uint8_t> reply, size_t requestBytes, int64_t arrivalNs,
                               bool late)
{
    if (reply.empty())
        return;
    int64_t now = NowNs();
    int64_t lateDue = late ? arrivalNs + static_cast<int64_t>(opt.lateReplyMs) * 1000000 : 0;
    if (opt.baudPacing <= 0) {
        out.push_back({std::max(now, lateDue), std::move(reply)});
    } else {
        // 10 bit times a byte: the request occupies the line from its first
        // byte's arrival, the reply follows it and ends no earlier than
        // (request + reply) line time after the request began.
        const double byteNs = 1e10 / opt.baudPacing;
        int64_t start = arrivalNs + static_cast<int64_t>(requestBytes * byteNs);
        if (late)
            start = std::max(start, lateDue);
        for (size_t a = 0; a < reply.size(); a += kPaceSlice) {
            const size_t b = std::min(reply.size(), a + kPaceSlice);
            const int64_t due = start + static_cast<int64_t>(b * byteNs);
            out.push_back({due, std::vector<uint8_t>(reply.begin() + a, reply.begin() + b)});
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Pending &x, const Pending &y) { return x.due < y.due; });
}

// Writes every reply slice that is due. False when the host is not taking
// bytes (its input queue is full) and the thread should wait for POLLOUT.
bool Simulator::Impl::FlushDue(int64_t now)
{
    while (!out.empty() && out.front().due <= now) {
        Pending &p = out.front();
        const ssize_t w = write(master, p.bytes.data(), p.bytes.size());
        if (w < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return false;
            out.clear();  // the line is gone
            return true;
        }
        p.bytes.erase(p.bytes.begin(), p.bytes.begin() + w);
        if (p.bytes.empty()) {
            out.erase(out.begin());
            std::lock_guard<std::mutex> lock(mu);
            lastReplyNs = NowNs();
        }
    }
    return true;
}

void Simulator::Impl::HandleFrame(const uint8_t *p, size_t n, int64_t arrivalNs)
{
    const char letter = static_cast<char>(p[0]);
    std::vector<uint8_t> reply;
    FrameLogEntry e;
    e.command = letter;
    bool late = false;
    bool unplug = false;
    std::string detail;
    int frame = 0;
    {
        std::lock_guard<std::mutex> lock(mu);
        frame = ++frames;
        lastPayload[letter] = std::vector<uint8_t>(p, p + n);
        ++counts[letter];

        auto addrOffset = [&]() {
            const unsigned addr = (static_cast<unsigned>(p[1]) << 8) | p[2];
            e.page = static_cast<int>(addr >> 4);
            e.block = static_cast<int>((addr >> 2) & 3);
            return static_cast<size_t>(addr) * 256;
        };
        bool known = true;
        switch (letter) {
        case 'A':
            if (n == 3) {
                const size_t off = addrOffset();
                reply.resize(kBlockSize);
                for (size_t i = 0; i < kBlockSize; ++i)
                    reply[i] = mem[(off + i) % kMemorySize];
                e.result = "DATA";
            } else {
                known = false;
            }
            break;
        case 'B':
        case 'C':
            if (n == 3 + kBlockSize) {
                const size_t off = addrOffset();
                for (size_t i = 0; i < kBlockSize; ++i)
                    mem[(off + i) % kMemorySize] = p[3 + i];
                reply = {'O', 'K'};
            } else {
                known = false;
            }
            break;
        case 'D':
            if (n == 257) {
                std::memcpy(mem.data() + kRecordOffset, p + 1, 256);
                reply = {'O', 'K'};
            } else {
                known = false;
            }
            break;
        case 'E':
        case 'F':
            if (n == static_cast<size_t>(letter == 'E' ? 4 : 5)) {
                char buf[32];
                std::snprintf(buf, sizeof buf, " %02X %02X %02X", p[1], p[2], p[3]);
                detail = buf;
                if (letter == 'F') {
                    std::snprintf(buf, sizeof buf, " %02X", p[4]);
                    detail += buf;
                }
                reply = {'O', 'K'};
            } else {
                known = false;
            }
            break;
        case 'G':
            known = n == 1;
            e.result = "none";
            break;
        default:
            known = false;
            e.command = '?';
            break;
        }
        if (!known) {
            reply.clear();
            e.result = "unknown";
        } else if (!reply.empty() && e.result.empty()) {
            e.result = "OK";
        }

        if (known && FaultActive(frame)) {
            e.result = FaultName(fault);
            switch (fault) {
            case Fault::None: break;
            case Fault::NoReply: reply.clear(); break;
            case Fault::ShortReply:
                if (!reply.empty()) {
                    const size_t len =
                        shortLength >= 0 && static_cast<size_t>(shortLength) < reply.size()
                            ? static_cast<size_t>(shortLength)
                            : reply.size() - 1;
                    reply.resize(len);
                }
                break;
            case Fault::NotOk:
                if (!reply.empty())
                    reply = {'N', 'O'};
                break;
            case Fault::LateReply: late = true; break;
            case Fault::ExtraBytes:
                if (!reply.empty())
                    reply.insert(reply.end(), {'E', 'X', 'T', 'R', 'A'});
                break;
            case Fault::Unplug:
                reply.clear();
                unplug = true;
                break;
            }
        }
        log.push_back(e);
    }

    if (opt.logToStderr) {
        char where[48] = "";
        if (e.page >= 0)
            std::snprintf(where, sizeof where, " page %d block %d", e.page, e.block);
        std::fprintf(stderr, "korvex-sim: frame %d: %c%s%s -> %s\n", frame, e.command, where,
                     detail.c_str(), e.result.c_str());
    }
    if (unplug) {
        CloseSide();
        return;
    }
    Schedule(std::move(reply), n + 13, arrivalNs, late);
}

void Simulator::Impl::Parse(int64_t now)
{
    size_t pos = 0;
    int skipped = 0;
    while (pos < rx.size()) {
        if (rx[pos] != kHeader[0]) {
            ++pos;
            ++skipped;
            continue;
        }
        const size_t avail = rx.size() - pos;
        if (std::memcmp(&rx[pos], kHeader, std::min(avail, sizeof kHeader)) != 0) {
            ++pos;
            ++skipped;
            continue;
        }
        if (avail < 11)
            break;  // header so far, wait for the length
        const size_t n = (static_cast<size_t>(rx[pos + 9]) << 8) | rx[pos + 10];
        if (n < 1 || n > kMaxPayload) {
            ++pos;
            ++skipped;
            continue;
        }
        if (avail < n + 13) {
            if (now - lastRxNs > kStaleFrameNs) {  // abandoned half-way: look further on
                ++pos;
                ++skipped;
                continue;
            }
            break;
        }
        const uint8_t *frame = &rx[pos];
        const uint16_t want = static_cast<uint16_t>((frame[11 + n] << 8) | frame[12 + n]);
        if (Crc16(frame + 9, n + 2) != want) {
            // No reply; the next header may start inside this frame.
            FrameLogEntry e;
            e.command = static_cast<char>(frame[11]);
            e.crcOk = false;
            e.result = "bad-crc";
            {
                std::lock_guard<std::mutex> lock(mu);
                log.push_back(e);
            }
            if (opt.logToStderr)
                std::fprintf(stderr, "korvex-sim: frame with a bad CRC ignored\n");
            ++pos;
            ++skipped;
            continue;
        }
        HandleFrame(frame + 11, n, rxStartNs);
        if (master < 0)
            return;  // unplugged while handling it
        pos += n + 13;
        rxStartNs = lastRxNs;
    }
    rx.erase(rx.begin(), rx.begin() + static_cast<std::ptrdiff_t>(pos));
    if (skipped) {
        std::lock_guard<std::mutex> lock(mu);
        garbage += skipped;
    }
}

void Simulator::Impl::Serve()
{
    uint8_t buf[4096];
    while (!stopping.load()) {
        if (unplugRequested.load()) {
            CloseSide();
            break;
        }
        const int64_t now = NowNs();
        const bool blocked = !FlushDue(now);
        if (master < 0)
            break;

        int64_t wakeAt = -1;
        if (!out.empty() && !blocked)
            wakeAt = out.front().due;
        if (!rx.empty()) {
            const int64_t stale = lastRxNs + kStaleFrameNs + 1000000;
            wakeAt = wakeAt < 0 ? stale : std::min(wakeAt, stale);
        }
        pollfd fds[2] = {{master, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0},
                         {wake[0], POLLIN, 0}};
        timespec ts{};
        timespec *tsp = nullptr;
        if (wakeAt >= 0) {
            const int64_t left = std::max<int64_t>(0, wakeAt - NowNs());
            ts.tv_sec = static_cast<time_t>(left / 1000000000);
            ts.tv_nsec = static_cast<long>(left % 1000000000);
            tsp = &ts;
        }
        const int r = ppoll(fds, 2, tsp, nullptr);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents) {
            char c;
            while (read(wake[0], &c, 1) > 0) {
            }
            continue;  // stop or unplug: checked at the top
        }
        if (fds[0].revents & POLLIN) {
            const ssize_t got = read(master, buf, sizeof buf);
            if (got > 0) {
                const int64_t t = NowNs();
                if (rx.empty())
                    rxStartNs = t;
                lastRxNs = t;
                rx.insert(rx.end(), buf, buf + got);
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            // No slave opener at all (cannot happen while slaveHold is open);
            // avoid spinning.
            timespec nap{0, 10000000};
            nanosleep(&nap, nullptr);
        }
        Parse(NowNs());
    }
    serving.store(false);
}

Simulator::Simulator(Options options) : impl_(new Impl)
{
    impl_->opt = std::move(options);
    impl_->InitMemory();
    impl_->LoadMemory();
}

Simulator::~Simulator()
{
    Stop();
    delete impl_;
}

bool Simulator::Start()
{
    Impl &s = *impl_;
    if (s.thread.joinable() || s.master >= 0)
        return false;
    s.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (s.master < 0)
        return false;
    char name[256];
    if (grantpt(s.master) != 0 || unlockpt(s.master) != 0 ||
        ptsname_r(s.master, name, sizeof name) != 0) {
        s.CloseSide();
        return false;
    }
    s.slavePath = name;
    s.slaveHold = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (s.slaveHold < 0) {
        s.CloseSide();
        return false;
    }
    // Our own side raw: every byte passes both ways unchanged.
    termios t{};
    if (tcgetattr(s.master, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(s.master, TCSANOW, &t);
    }
    if (pipe2(s.wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        s.CloseSide();
        return false;
    }
    if (!s.opt.linkPath.empty()) {
        unlink(s.opt.linkPath.c_str());
        if (symlink(name, s.opt.linkPath.c_str()) != 0) {
            s.CloseSide();
            close(s.wake[0]);
            close(s.wake[1]);
            s.wake[0] = s.wake[1] = -1;
            return false;
        }
    }
    s.stopping.store(false);
    s.unplugRequested.store(false);
    s.serving.store(true);
    s.thread = std::thread([&s] { s.Serve(); });
    return true;
}

void Simulator::Stop()
{
    Impl &s = *impl_;
    if (s.thread.joinable()) {
        s.stopping.store(true);
        const char c = 's';
        (void)!write(s.wake[1], &c, 1);
        s.thread.join();
    }
    s.CloseSide();
    for (int &fd : s.wake) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    if (!s.opt.linkPath.empty()) {
        char target[256];
        const ssize_t len = readlink(s.opt.linkPath.c_str(), target, sizeof target - 1);
        if (len > 0) {
            target[len] = 0;
            if (s.slavePath == target)
                unlink(s.opt.linkPath.c_str());
        }
    }
    std::lock_guard<std::mutex> lock(s.mu);
    s.SaveMemoryLocked();
}

void Simulator::Unplug()
{
    Impl &s = *impl_;
    if (s.thread.joinable()) {
        s.unplugRequested.store(true);
        const char c = 'u';
        (void)!write(s.wake[1], &c, 1);
        s.thread.join();
    }
    s.CloseSide();
}

const std::string &Simulator::SlavePath() const
{
    return impl_->slavePath;
}

void Simulator::SetFault(Fault fault, int fromFrame, int count)
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->fault = fault;
    impl_->faultFrom = fromFrame;
    impl_->faultCount = count;
}

void Simulator::SetShortLength(int bytes)
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->shortLength = bytes;
}

std::vector<uint8_t> Simulator::Block(int page, int block) const
{
    if (page < 0 || page >= kPages || block < 0 || block > 3)
        return {};
    std::lock_guard<std::mutex> lock(impl_->mu);
    const auto first = impl_->mem.begin() + page * kPageSize + block * kBlockSize;
    return std::vector<uint8_t>(first, first + kBlockSize);
}

std::array<uint8_t, 256> Simulator::ConfigRecord() const
{
    std::array<uint8_t, 256> r{};
    std::lock_guard<std::mutex> lock(impl_->mu);
    std::memcpy(r.data(), impl_->mem.data() + kRecordOffset, r.size());
    return r;
}

void Simulator::SetConfigRecord(const std::array<uint8_t, 256> &record)
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    std::memcpy(impl_->mem.data() + kRecordOffset, record.data(), record.size());
}

void Simulator::SetBlock(int page, int block, const std::vector<uint8_t> &data)
{
    if (page < 0 || page >= kPages || block < 0 || block > 3)
        return;
    std::lock_guard<std::mutex> lock(impl_->mu);
    const size_t n = std::min<size_t>(data.size(), kBlockSize);
    std::memcpy(impl_->mem.data() + page * kPageSize + block * kBlockSize, data.data(), n);
}

std::vector<FrameLogEntry> Simulator::Log() const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->log;
}

std::vector<uint8_t> Simulator::LastPayload(char command) const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    const auto it = impl_->lastPayload.find(command);
    return it == impl_->lastPayload.end() ? std::vector<uint8_t>{} : it->second;
}

int Simulator::FrameCount() const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->frames;
}

int Simulator::CountOf(char command) const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    const auto it = impl_->counts.find(command);
    return it == impl_->counts.end() ? 0 : it->second;
}

void Simulator::ClearLog()
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->log.clear();
    impl_->lastPayload.clear();
    impl_->counts.clear();
    impl_->frames = 0;
    impl_->garbage = 0;
}

int Simulator::GarbageBytes() const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->garbage;
}

int64_t Simulator::LastReplyNs() const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->lastReplyNs;
}

std::vector<uint8_t> Simulator::Memory() const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->mem;
}

bool Simulator::SaveMemory() const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->SaveMemoryLocked();
}

}  // namespace korvex::sim
