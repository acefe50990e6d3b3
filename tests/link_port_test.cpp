// The port state, the device behind a port number, the line settings,
// exclusive use and the bound on a write that cannot finish.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "link/korvex_api.h"
#include "link/link.h"
#include "link/port_posix.h"
#include "tests/support/pty_peer.h"

using korvex::test::MsSince;
using korvex::test::PtyPeer;
using Clock = std::chrono::steady_clock;

namespace {

const std::vector<uint8_t> kOk = {'O', 'K'};

// Every port number is aimed somewhere harmless by the test main; this
// restores that for the ports a test re-aims.
struct EnvGuard {
    explicit EnvGuard(int port) : var("KORVEX_COM" + std::to_string(port)) {}
    ~EnvGuard() { setenv(var.c_str(), ("/nonexistent/korvex-test-" + var).c_str(), 1); }
    void Set(const std::string &path) { setenv(var.c_str(), path.c_str(), 1); }
    std::string var;
};

int OpenSlave(const std::string &path)
{
    return open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

class PortState : public ::testing::Test {
protected:
    void TearDown() override
    {
        while (ComClose() == 1) {
        }
    }
};

}  // namespace

// ---- State table ----

TEST_F(PortState, OpenCloseAndTheirResults)
{
    PtyPeer peer(1);
    ASSERT_TRUE(peer.ok());
    EXPECT_EQ(ComClose(), 0);            // closed -> ComClose: 0
    EXPECT_EQ(ComInitial(1, 38400), 1);  // closed -> open
    EXPECT_EQ(ComInitial(1, 38400), 0);  // open -> ComInitial: 0, same port
    EXPECT_EQ(ComInitial(2, 9600), 0);
    EXPECT_EQ(ComClose(), 1);
    EXPECT_EQ(ComClose(), 0);
    EXPECT_EQ(ComInitial(1, 38400), 1);  // and it opens again
    EXPECT_EQ(ComClose(), 1);
}

TEST_F(PortState, SecondInitialLeavesTheFirstPortInUse)
{
    PtyPeer first(1);
    PtyPeer second(2);
    ASSERT_TRUE(first.ok() && second.ok());
    first.Start();
    second.Start();
    ASSERT_EQ(ComInitial(1, 38400), 1);
    EXPECT_EQ(ComInitial(2, 38400), 0);
    first.Script(kOk);
    const uint8_t s[3] = {0, 0, 0};
    EXPECT_EQ(WriteNotSave(s), 1);
    EXPECT_EQ(first.FrameCount(), 1);
    EXPECT_TRUE(second.RawBytes().empty());
    // Its settings were not touched by the refused call either.
    const int fd = OpenSlave(first.SlavePath());
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B38400);
    close(fd);
    EXPECT_EQ(ComClose(), 1);
}

TEST_F(PortState, FailedInitialLeavesNothingOpen)
{
    EXPECT_EQ(ComInitial(1, 38400), 0);  // aimed at a path that does not exist
    EXPECT_EQ(ComClose(), 0);
    uint8_t block[1024] = {7};
    EXPECT_EQ(Read1KData(127, 3, block), 0);
    EXPECT_EQ(block[0], 7);
    EXPECT_EQ(Write1KData_Ex(0, 0, block), 0);
    EXPECT_EQ(WriteSpecial(block), 0);
    EXPECT_EQ(WriteNotSave(block), 0);
    EXPECT_EQ(SetTime(), 0);
    EXPECT_EQ(ResetCard(), 1);  // 1 in every case
}

TEST_F(PortState, ClosedPortSendsNothing)
{
    PtyPeer peer(1);
    peer.Start();
    uint8_t block[1024] = {};
    EXPECT_EQ(Read1KData(127, 3, block), 0);
    EXPECT_EQ(Write1KData(8, 0, block), 0);
    EXPECT_EQ(ResetCard(), 1);
    usleep(50000);
    EXPECT_TRUE(peer.RawBytes().empty());
}

TEST_F(PortState, PortNumbersAndBaudRatesThatFail)
{
    PtyPeer peer(1);
    ASSERT_TRUE(peer.ok());
    EXPECT_EQ(ComInitial(0, 38400), 0);
    EXPECT_EQ(ComInitial(-1, 38400), 0);
    EXPECT_EQ(ComInitial(1, 0), 0);
    EXPECT_EQ(ComInitial(1, 12345), 0);
    EXPECT_EQ(ComInitial(1, -38400), 0);
    EXPECT_EQ(ComClose(), 0);
    // The refused attempts left the device free for the next opener.
    EXPECT_EQ(ComInitial(1, 9600), 1);
    EXPECT_EQ(ComClose(), 1);
}

TEST_F(PortState, TwoDigitPortNumbersUseTheirOwnVariable)
{
    PtyPeer peer(12);
    ASSERT_TRUE(peer.ok());
    EnvGuard one(1);
    EXPECT_EQ(ComInitial(1, 38400), 0);
    EXPECT_EQ(ComInitial(12, 38400), 1);
    EXPECT_EQ(ComClose(), 1);
}

TEST_F(PortState, VariableIsReadAtEachInitial)
{
    PtyPeer a(3);
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(ComInitial(3, 38400), 1);
    EXPECT_EQ(ComClose(), 1);
    EnvGuard g(3);
    g.Set("/nonexistent/elsewhere");
    EXPECT_EQ(ComInitial(3, 38400), 0);
}

TEST_F(PortState, NonTerminalsAndMissingDevicesAreRefusedAndNeverCreated)
{
    EnvGuard g(4);
    g.Set("/dev/null");
    EXPECT_EQ(ComInitial(4, 38400), 0);
    char dir[] = "/tmp/korvex-port-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/plain";
    FILE *f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    g.Set(file);
    EXPECT_EQ(ComInitial(4, 38400), 0);
    const std::string missing = std::string(dir) + "/missing";
    g.Set(missing);
    EXPECT_EQ(ComInitial(4, 38400), 0);
    struct stat st {};
    EXPECT_NE(stat(missing.c_str(), &st), 0);
    std::remove(file.c_str());
    rmdir(dir);
    EXPECT_EQ(ComClose(), 0);
}

// ---- Line settings ----

TEST_F(PortState, LineIsRaw8N1AtTheRequestedRate)
{
    PtyPeer peer(1);
    ASSERT_TRUE(peer.ok());
    const int fd = OpenSlave(peer.SlavePath());
    ASSERT_GE(fd, 0);
    // Start from a cooked line with parity, two stop bits and flow control.
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    t.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    t.c_iflag |= ICRNL | IXON | IXOFF;
    t.c_oflag |= OPOST | ONLCR;
    t.c_cflag |= PARENB | CSTOPB | CRTSCTS;
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    t.c_cflag |= CS7;
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);

    for (int baud : {38400, 9600, 115200}) {
        ASSERT_EQ(ComInitial(1, baud), 1) << baud;
        termios now{};
        ASSERT_EQ(tcgetattr(fd, &now), 0);
        const speed_t want = baud == 38400 ? B38400 : baud == 9600 ? B9600 : B115200;
        EXPECT_EQ(cfgetospeed(&now), want);
        EXPECT_EQ(cfgetispeed(&now), want);
        EXPECT_EQ(now.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_FALSE(now.c_cflag & (PARENB | CSTOPB));
        EXPECT_TRUE(now.c_cflag & CLOCAL);
        EXPECT_TRUE(now.c_cflag & CREAD);
        EXPECT_TRUE(now.c_cflag & CRTSCTS);  // hardware flow control untouched
        EXPECT_FALSE(now.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
        EXPECT_FALSE(now.c_iflag & (ICRNL | IXON | IXOFF));
        EXPECT_FALSE(now.c_oflag & OPOST);
        EXPECT_EQ(ComClose(), 1);
    }
    close(fd);
}

// ---- Exclusive use ----

TEST_F(PortState, OpenPortIsExclusive)
{
    PtyPeer peer(1);
    ASSERT_TRUE(peer.ok());
    const int other = OpenSlave(peer.SlavePath());  // opened before: TIOCEXCL lets it be
    ASSERT_GE(other, 0);
    ASSERT_EQ(ComInitial(1, 38400), 1);
    int excl = 0;
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &excl), 0);
    EXPECT_EQ(excl, 1);
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);  // a locking opener is kept out
    EXPECT_EQ(errno, EWOULDBLOCK);
    if (geteuid() != 0) {  // root passes TIOCEXCL by design; flock holds even then
        EXPECT_LT(OpenSlave(peer.SlavePath()), 0);
    }
    EXPECT_EQ(ComClose(), 1);
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &excl), 0);
    EXPECT_EQ(excl, 0);
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    // Held by someone else, the port does not open.
    EXPECT_EQ(ComInitial(1, 38400), 0);
    flock(other, LOCK_UN);
    EXPECT_EQ(ComInitial(1, 38400), 1);
    EXPECT_EQ(ComClose(), 1);
    close(other);
}

// ---- Bounded write ----
//
// Output held back on the line (as by CTS held low or a peer's XOFF): the
// test stops the tty's output with tcflow, which no purge undoes, so every
// write from the library blocks until the test lets output flow again.

TEST_F(PortState, WriteOnAStoppedLineIsBounded)
{
    PtyPeer peer(1);
    ASSERT_TRUE(peer.ok());
    peer.Start();
    const int other = OpenSlave(peer.SlavePath());
    ASSERT_GE(other, 0);
    ASSERT_EQ(ComInitial(1, 38400), 1);
    ASSERT_EQ(tcflow(other, TCOOFF), 0);
    std::vector<uint8_t> data(1024, 0x33);
    const auto start = Clock::now();
    EXPECT_EQ(Write1KData_Ex(0, 0, data.data()), 0);
    const double ms = MsSince(start);
    // Two attempts, each bounded by the frame's line time (271 ms) + 2 s.
    EXPECT_GT(ms, 2 * 2000);
    EXPECT_LT(ms, 2 * 2271 + 600);
    const auto t2 = Clock::now();
    EXPECT_EQ(ResetCard(), 1);  // a restart that cannot be sent still returns
    EXPECT_LT(MsSince(t2), 2000 + 400);
    ASSERT_EQ(tcflow(other, TCOON), 0);
    // Once the line flows again the port works as before.
    peer.Script(kOk);
    const uint8_t s[3] = {0, 0, 0};
    EXPECT_EQ(WriteNotSave(s), 1);
    const auto start2 = Clock::now();
    EXPECT_EQ(ComClose(), 1);  // closing does not wait on held output either
    EXPECT_LT(MsSince(start2), 500);
    close(other);
}

TEST_F(PortState, WriteBoundTakesTheResendPath)
{
    // Through the internal exchange with a short bound, so the resend can be
    // watched quickly: the line flows again after the first attempt has run
    // out, and the second attempt goes through.
    using namespace korvex::link;
    PtyPeer peer(1);
    ASSERT_TRUE(peer.ok());
    peer.Start();
    const int old = SerialSetWriteSlackMs(150);
    const int other = OpenSlave(peer.SlavePath());
    ASSERT_EQ(PortOpen(1, 38400), 1);
    ASSERT_EQ(tcflow(other, TCOOFF), 0);
    peer.Script(kOk);
    std::thread release([other] {
        usleep(250000);
        tcflow(other, TCOON);
    });
    const uint8_t payload[4] = {'E', 0, 0, 0};
    const auto start = Clock::now();
    EXPECT_EQ(ExchangeFrame(4, payload, nullptr), 1);
    const double ms = MsSince(start);
    release.join();
    EXPECT_GT(ms, 240);
    EXPECT_LT(ms, 2 * 150 + 400);
    EXPECT_EQ(peer.FrameCount(), 1);  // the first attempt never reached the line
    EXPECT_EQ(PortClose(), 1);
    SerialSetWriteSlackMs(old);
    close(other);
}
