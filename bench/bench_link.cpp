// Figures for the link library:
//  1. host overhead per exchange on an idle pty, against a peer that
//     answers the moment a frame is complete (median, p99; "OK" and 1 KiB
//     replies), and the time from the reply's last byte to the return;
//  2. a full picture upload's worth of frames (484 picture blocks, two name
//     tables, one record write, one restart) against the simulator paced
//     at 38400 baud, as wall time over the line-time limit.
//
// Usage: bench_link [--rounds N] [--blocks N]   (defaults 2000 and 484)
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "link/clock.h"
#include "link/korvex_api.h"
#include "model/line.h"
#include "sim/simulator.h"

namespace {

using korvex::link::NowNs;

// A peer that answers every complete frame at once: 1024 bytes to 'A',
// "OK" to everything else but 'G'. Records when each reply's last byte was
// handed to the pty.
class InstantPeer {
public:
    bool Open()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return false;
        char name[256];
        if (ptsname_r(master_, name, sizeof name) != 0)
            return false;
        path_ = name;
        hold_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
        thread_ = std::thread([this] { Serve(); });
        return hold_ >= 0;
    }
    void Close()
    {
        stop_ = true;
        if (thread_.joinable()) {
            // Wake the blocking read with one byte through the slave side.
            const uint8_t b = 0;
            (void)!write(hold_, &b, 1);
            thread_.join();
        }
        close(master_);
        close(hold_);
    }
    const std::string &Path() const { return path_; }
    int64_t LastReplyNs() const { return lastReply_.load(); }

private:
    void Serve()
    {
        std::vector<uint8_t> rx;
        uint8_t buf[4096];
        std::vector<uint8_t> block(1024, 0x5A);
        const uint8_t ok[2] = {'O', 'K'};
        while (!stop_) {
            const ssize_t r = read(master_, buf, sizeof buf);
            if (r <= 0) {
                if (r < 0 && errno == EINTR)
                    continue;
                break;
            }
            rx.insert(rx.end(), buf, buf + r);
            while (rx.size() >= 11) {
                const size_t n = (static_cast<size_t>(rx[9]) << 8) | rx[10];
                if (rx.size() < n + 13)
                    break;
                const uint8_t cmd = rx[11];
                rx.erase(rx.begin(), rx.begin() + static_cast<long>(n + 13));
                if (cmd == 'G')
                    continue;
                if (cmd == 'A')
                    (void)!write(master_, block.data(), block.size());
                else
                    (void)!write(master_, ok, 2);
                lastReply_.store(NowNs());
            }
        }
    }

    int master_ = -1;
    int hold_ = -1;
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int64_t> lastReply_{0};
};

struct Stats {
    double median, p99, max;
};

Stats Summarise(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    auto at = [&](double q) {
        return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
    };
    return {at(0.5), at(0.99), v.back()};
}

bool Overhead(int rounds)
{
    InstantPeer peer;
    if (!peer.Open()) {
        std::fprintf(stderr, "bench_link: no pty\n");
        return false;
    }
    setenv("KORVEX_COM1", peer.Path().c_str(), 1);
    if (ComInitial(1, korvex::kBaud) != 1) {
        std::fprintf(stderr, "bench_link: ComInitial failed on %s\n", peer.Path().c_str());
        peer.Close();
        return false;
    }
    const uint8_t settings[3] = {0, 0, 0};
    uint8_t block[1024];
    for (int i = 0; i < 50; ++i) {  // warm-up
        WriteNotSave(settings);
        Read1KData(127, 3, block);
    }
    std::vector<double> shortMs, blockMs, shortTail, blockTail;
    int failures = 0;
    for (int i = 0; i < rounds; ++i) {
        int64_t t0 = NowNs();
        failures += WriteNotSave(settings) != 1;
        int64_t t1 = NowNs();
        shortMs.push_back(static_cast<double>(t1 - t0) / 1e6);
        shortTail.push_back(static_cast<double>(t1 - peer.LastReplyNs()) / 1e6);

        t0 = NowNs();
        failures += Read1KData(127, 3, block) != 1;
        t1 = NowNs();
        blockMs.push_back(static_cast<double>(t1 - t0) / 1e6);
        blockTail.push_back(static_cast<double>(t1 - peer.LastReplyNs()) / 1e6);
    }
    ComClose();
    peer.Close();

    const Stats s = Summarise(shortMs), b = Summarise(blockMs);
    const Stats st = Summarise(shortTail), bt = Summarise(blockTail);
    std::printf("Host overhead per exchange on an idle pty (%d rounds, %d failures)\n", rounds,
                failures);
    std::printf("  \"OK\" reply   (17-byte frame):  median %.3f ms  p99 %.3f ms  max %.3f ms\n",
                s.median, s.p99, s.max);
    std::printf("  1 KiB reply  (16-byte frame):  median %.3f ms  p99 %.3f ms  max %.3f ms\n",
                b.median, b.p99, b.max);
    std::printf("Last reply byte written -> exchange returned\n");
    std::printf("  \"OK\" reply:                    median %.3f ms  p99 %.3f ms  max %.3f ms\n",
                st.median, st.p99, st.max);
    std::printf("  1 KiB reply:                   median %.3f ms  p99 %.3f ms  max %.3f ms\n",
                bt.median, bt.p99, bt.max);
    return failures == 0;
}

bool PacedUpload(int blocks)
{
    using korvex::kBaud;
    korvex::sim::Options o;
    o.baudPacing = kBaud;
    korvex::sim::Simulator sim(o);
    if (!sim.Start()) {
        std::fprintf(stderr, "bench_link: simulator did not start\n");
        return false;
    }
    setenv("KORVEX_COM1", sim.SlavePath().c_str(), 1);
    if (ComInitial(1, kBaud) != 1) {
        std::fprintf(stderr, "bench_link: ComInitial failed on the simulator\n");
        return false;
    }
    std::vector<uint8_t> data(1024);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> record(256, 0);

    // Line bytes: request frames (payload + 13) and replies.
    long lineBytes = 0;
    int ok = 0, frames = 0;
    const int64_t start = NowNs();
    ok += WriteSpecial(record.data());
    lineBytes += 257 + 13 + 2;
    ++frames;
    for (int i = 0; i < blocks; ++i) {
        ok += Write1KData_Ex(i / 4, i % 4, data.data());
        lineBytes += 1027 + 13 + 2;
        ++frames;
    }
    for (int b = 0; b < 2; ++b) {
        ok += Write1KData(127, b, data.data());
        lineBytes += 1027 + 13 + 2;
        ++frames;
    }
    ResetCard();
    ++ok;
    lineBytes += 1 + 13;
    ++frames;
    const int64_t end = NowNs();
    ComClose();
    sim.Stop();

    const double wall = static_cast<double>(end - start) / 1e9;
    const double limit = static_cast<double>(lineBytes) * 10.0 / kBaud;
    std::printf(
        "Paced upload at %d baud: %d picture blocks, 2 name tables, 1 record write, 1 restart\n",
        kBaud, blocks);
    std::printf("  %d frames, %d succeeded, %ld line bytes\n", frames, ok, lineBytes);
    std::printf("  wall %.3f s / line-time limit %.3f s = %.4f  (%.2f %% of line rate)\n", wall,
                limit, wall / limit, 100.0 * limit / wall);
    return ok == frames;
}

}  // namespace

int main(int argc, char **argv)
{
    int rounds = 2000;
    int blocks = 484;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--blocks") == 0)
            blocks = std::max(0, std::atoi(argv[i + 1]));
    }
    // Never let a stray port number reach a real device.
    for (int n = 2; n <= 8; ++n)
        setenv(("KORVEX_COM" + std::to_string(n)).c_str(),
               ("/nonexistent/korvex-bench-com" + std::to_string(n)).c_str(), 1);
    bool good = Overhead(rounds);
    good = PacedUpload(blocks) && good;
    return good ? 0 : 1;
}
