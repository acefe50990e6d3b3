#include "tests/support/pty_peer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <algorithm>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace korvex::test {

namespace {

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

std::vector<uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> HeaderBytes()
{
    return Bytes({0x1B, '$', 'Q', 'u', 'o', 'r', 'l', '0', 'P'});
}

PtyPeer::PtyPeer(int port) : var_("KORVEX_COM" + std::to_string(port))
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0)
        return;
    char name[256];
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
        close(master_);
        master_ = -1;
        return;
    }
    slavePath_ = name;
    hold_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    termios t{};
    if (tcgetattr(master_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        wake_[0] = wake_[1] = -1;
    setenv(var_.c_str(), slavePath_.c_str(), 1);
}

PtyPeer::~PtyPeer()
{
    {
        std::lock_guard<std::mutex> lock(mu_);
        stop_ = true;
    }
    if (wake_[1] >= 0) {
        const char c = 's';
        (void)!write(wake_[1], &c, 1);
    }
    if (thread_.joinable())
        thread_.join();
    HangUp();
    for (int fd : wake_) {
        if (fd >= 0)
            close(fd);
    }
    const std::string nowhere = "/nonexistent/korvex-test-" + var_;
    setenv(var_.c_str(), nowhere.c_str(), 1);
}

void PtyPeer::Start()
{
    if (!thread_.joinable() && master_ >= 0)
        thread_ = std::thread([this] { Serve(); });
}

void PtyPeer::Script(ScriptedReply reply)
{
    std::lock_guard<std::mutex> lock(mu_);
    script_.push_back(std::move(reply));
}

std::vector<std::vector<uint8_t>> PtyPeer::Frames() const
{
    std::lock_guard<std::mutex> lock(mu_);
    return frames_;
}

std::vector<uint8_t> PtyPeer::RawBytes() const
{
    std::lock_guard<std::mutex> lock(mu_);
    return raw_;
}

int PtyPeer::FrameCount() const
{
    std::lock_guard<std::mutex> lock(mu_);
    return static_cast<int>(frames_.size());
}

bool PtyPeer::WaitFrames(int n, int timeoutMs) const
{
    const int64_t end = NowMs() + timeoutMs;
    while (NowMs() < end) {
        if (FrameCount() >= n)
            return true;
        usleep(2000);
    }
    return FrameCount() >= n;
}

void PtyPeer::HangUp()
{
    std::lock_guard<std::mutex> lock(mu_);
    if (master_ >= 0)
        close(master_);
    if (hold_ >= 0)
        close(hold_);
    master_ = hold_ = -1;
}

void PtyPeer::Serve()
{
    struct Out {
        int64_t due;
        ScriptedReply reply;
    };
    std::vector<uint8_t> pending;
    std::deque<Out> outs;
    uint8_t buf[4096];
    for (;;) {
        int fd;
        {
            std::lock_guard<std::mutex> lock(mu_);
            if (stop_)
                return;
            fd = master_;
        }
        if (fd < 0)
            return;
        // Due replies first.
        while (!outs.empty() && outs.front().due <= NowMs()) {
            Out o = std::move(outs.front());
            outs.pop_front();
            if (o.reply.hangUp) {
                HangUp();
                return;
            }
            size_t off = 0;
            while (off < o.reply.bytes.size()) {
                const ssize_t w = write(fd, o.reply.bytes.data() + off, o.reply.bytes.size() - off);
                if (w > 0)
                    off += static_cast<size_t>(w);
                else if (w < 0 && errno != EINTR && errno != EAGAIN)
                    break;
                else if (w < 0 && errno == EAGAIN)
                    usleep(1000);
            }
        }
        int timeout = 50;
        if (!outs.empty())
            timeout = static_cast<int>(std::max<int64_t>(0, outs.front().due - NowMs()));
        pollfd p[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int r = poll(p, 2, timeout);
        if (r <= 0)
            continue;
        if (p[1].revents)
            continue;  // checked at the top
        if (!(p[0].revents & POLLIN)) {
            usleep(1000);
            continue;
        }
        const ssize_t got = read(fd, buf, sizeof buf);
        if (got <= 0)
            continue;
        const int64_t now = NowMs();
        std::lock_guard<std::mutex> lock(mu_);
        raw_.insert(raw_.end(), buf, buf + got);
        pending.insert(pending.end(), buf, buf + got);
        // Split whole frames: header (9), length (2), payload, CRC (2).
        for (;;) {
            if (pending.size() < 11)
                break;
            const size_t n = (static_cast<size_t>(pending[9]) << 8) | pending[10];
            if (pending.size() < n + 13)
                break;
            frames_.emplace_back(pending.begin(), pending.begin() + static_cast<long>(n + 13));
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(n + 13));
            if (!script_.empty()) {
                ScriptedReply s = std::move(script_.front());
                script_.pop_front();
                const int64_t due = now + s.delayMs;
                auto insert = [&outs](int64_t when, ScriptedReply r) {
                    auto at = outs.begin();
                    while (at != outs.end() && at->due <= when)
                        ++at;
                    outs.insert(at, Out{when, std::move(r)});
                };
                if (!s.tail.empty()) {
                    ScriptedReply rest;
                    rest.bytes = std::move(s.tail);
                    insert(due + s.tailDelayMs, std::move(rest));
                }
                insert(due, std::move(s));
            }
        }
    }
}

}  // namespace korvex::test
