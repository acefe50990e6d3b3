// The simulated controller, driven through the real library: memory and
// the configuration record, every fault switch, the frame parser, pacing,
// the log and memory kept in a file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "link/frame.h"
#include "link/korvex_api.h"
#include "sim/simulator.h"
#include "tests/support/pty_peer.h"
#include "tests/support/sim_port.h"

using korvex::sim::Fault;
using korvex::sim::Options;
using korvex::test::MsSince;
using korvex::test::SimPort;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<uint8_t> Pattern(size_t n, int seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 13 + seed);
    return v;
}

std::vector<uint8_t> FrameFor(const std::vector<uint8_t> &payload)
{
    std::vector<uint8_t> f(korvex::link::kMaxFrame);
    f.resize(korvex::link::BuildFrame(payload.data(), payload.size(), f.data()));
    return f;
}

// Opens the port on the simulator for one test and closes it afterwards.
class Sim : public ::testing::Test {
protected:
    void Open(Options o = {})
    {
        sp = std::make_unique<SimPort>(std::move(o));
        ASSERT_TRUE(sp->ok());
        ASSERT_EQ(ComInitial(1, 38400), 1);
    }
    void TearDown() override
    {
        ComClose();
        sp.reset();
    }
    std::vector<std::string> Results() const
    {
        std::vector<std::string> r;
        for (const auto &e : (*sp)->Log())
            r.push_back(e.result);
        return r;
    }
    std::unique_ptr<SimPort> sp;
};

const uint8_t kSettings[3] = {1, 0, 2};

}  // namespace

// ---- Memory and record ----

TEST_F(Sim, InitialRecordSaysVer11With2048Pixels)
{
    Open();
    std::vector<uint8_t> block(1024, 0xEE);
    ASSERT_EQ(Read1KData(127, 3, block.data()), 1);
    const std::vector<uint8_t> head(block.begin() + 512, block.begin() + 532);
    std::vector<uint8_t> want(20, 0);
    const char *ver = "Ver1.1";
    std::copy(ver, ver + 6, want.begin());
    want[8] = 0x08;
    want[9] = 0x00;
    EXPECT_EQ(head, want);
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + 532, block.begin() + 768),
              std::vector<uint8_t>(236, 0));
    const auto rec = (*sp)->ConfigRecord();
    EXPECT_TRUE(std::equal(rec.begin(), rec.end(), block.begin() + 512));
}

TEST_F(Sim, FirmwareAndSignatureOptions)
{
    Options o;
    o.firmware = "1.0";
    Open(o);
    auto rec = (*sp)->ConfigRecord();
    EXPECT_EQ(std::string(rec.begin(), rec.begin() + 6), "Ver1.0");
    ComClose();
    sp.reset();

    Options bare;
    bare.signature = false;
    Open(bare);
    rec = (*sp)->ConfigRecord();
    EXPECT_EQ(rec[0], 0);
    EXPECT_EQ(rec[1], 0);
    EXPECT_EQ(rec[2], 0);
    EXPECT_EQ(rec[8], 0x08);
}

TEST_F(Sim, BlockWritesAreStoredAndReadBack)
{
    Open();
    const auto a = Pattern(1024, 1);
    const auto b = Pattern(1024, 2);
    EXPECT_EQ(Write1KData_Ex(0, 0, a.data()), 1);
    EXPECT_EQ(Write1KData_Ex(120, 3, b.data()), 1);
    EXPECT_EQ(Write1KData(127, 1, a.data()), 1);
    EXPECT_EQ((*sp)->Block(0, 0), a);
    EXPECT_EQ((*sp)->Block(120, 3), b);
    EXPECT_EQ((*sp)->Block(127, 1), a);
    EXPECT_EQ((*sp)->Block(0, 1), std::vector<uint8_t>(1024, 0));  // neighbours untouched
    std::vector<uint8_t> back(1024);
    EXPECT_EQ(Read1KData(120, 3, back.data()), 1);
    EXPECT_EQ(back, b);
    const auto log = (*sp)->Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[1].command, 'C');
    EXPECT_EQ(log[1].page, 120);
    EXPECT_EQ(log[1].block, 3);
    EXPECT_EQ(log[1].result, "OK");
    EXPECT_EQ(log[3].result, "DATA");
}

TEST_F(Sim, RecordWriteLandsInPage127Block3AtByte512)
{
    Open();
    const auto rec = Pattern(256, 7);
    EXPECT_EQ(WriteSpecial(rec.data()), 1);
    const auto got = (*sp)->ConfigRecord();
    EXPECT_TRUE(std::equal(rec.begin(), rec.end(), got.begin()));
    const auto block = (*sp)->Block(127, 3);
    EXPECT_TRUE(std::equal(rec.begin(), rec.end(), block.begin() + 512));
    EXPECT_EQ(block[511], 0);
    EXPECT_EQ(block[768], 0);
}

TEST_F(Sim, SettingsTimeAndRestart)
{
    Open();
    EXPECT_EQ(WriteNotSave(kSettings), 1);
    EXPECT_EQ((*sp)->LastPayload('E'), std::vector<uint8_t>({'E', 1, 0, 2}));
    EXPECT_EQ(SetTime(), 1);
    EXPECT_EQ((*sp)->LastPayload('F').size(), 5u);
    const auto start = Clock::now();
    EXPECT_EQ(ResetCard(), 1);
    EXPECT_LT(MsSince(start), 200);
    for (int i = 0; i < 100 && (*sp)->CountOf('G') == 0; ++i)
        usleep(2000);
    EXPECT_EQ((*sp)->CountOf('G'), 1);
    EXPECT_EQ((*sp)->Log().back().result, "none");
    // Nothing was answered to the restart: the next exchange is clean.
    EXPECT_EQ(WriteNotSave(kSettings), 1);
}

// ---- Fault switches, as the library sees them ----

TEST_F(Sim, NoReplyCostsTwoAttempts)
{
    Open();
    (*sp)->SetFault(Fault::NoReply);
    const auto start = Clock::now();
    EXPECT_EQ(WriteNotSave(kSettings), 0);
    EXPECT_GT(MsSince(start), 2350);
    EXPECT_EQ((*sp)->FrameCount(), 2);
}

TEST_F(Sim, ShortReplyCostsTwoAttempts)
{
    Open();
    (*sp)->SetFault(Fault::ShortReply);
    std::vector<uint8_t> dest(1024, 0x77);
    EXPECT_EQ(Read1KData(127, 3, dest.data()), 0);
    EXPECT_EQ(dest, std::vector<uint8_t>(1024, 0x77));
    EXPECT_EQ((*sp)->FrameCount(), 2);
}

TEST_F(Sim, ShortLengthThenFullReply)
{
    Open();
    const auto data = Pattern(1024, 3);
    (*sp)->SetBlock(9, 2, data);
    (*sp)->SetShortLength(1000);
    (*sp)->SetFault(Fault::ShortReply, 1, 1);
    std::vector<uint8_t> dest(1024);
    EXPECT_EQ(Read1KData(9, 2, dest.data()), 1);
    EXPECT_EQ(dest, data);
    EXPECT_EQ((*sp)->FrameCount(), 2);
}

TEST_F(Sim, NotOkFailsAtOnce)
{
    Open();
    (*sp)->SetFault(Fault::NotOk);
    const auto start = Clock::now();
    EXPECT_EQ(WriteSpecial(Pattern(256, 1).data()), 0);
    EXPECT_LT(MsSince(start), 500);
    EXPECT_EQ((*sp)->FrameCount(), 1);
}

TEST_F(Sim, ExtraBytesStillSucceedAndDoNotSpoilTheNext)
{
    Open();
    (*sp)->SetFault(Fault::ExtraBytes, 1, 1);
    EXPECT_EQ(WriteNotSave(kSettings), 1);
    usleep(20000);
    std::vector<uint8_t> dest(1024);
    EXPECT_EQ(Read1KData(127, 3, dest.data()), 1);
    EXPECT_EQ(dest[512], 'V');
    EXPECT_EQ((*sp)->FrameCount(), 2);
}

TEST_F(Sim, LateReplyOnceIsRescuedByTheResend)
{
    Open();
    (*sp)->SetFault(Fault::LateReply, 1, 1);
    const auto start = Clock::now();
    EXPECT_EQ(WriteNotSave(kSettings), 1);
    const double ms = MsSince(start);
    EXPECT_GT(ms, 1150);
    EXPECT_LT(ms, 1700);
    EXPECT_EQ((*sp)->FrameCount(), 2);
}

TEST_F(Sim, LateReplyAlwaysFails)
{
    Open();
    (*sp)->SetFault(Fault::LateReply);
    EXPECT_EQ(WriteNotSave(kSettings), 0);
    EXPECT_EQ((*sp)->FrameCount(), 2);
}

TEST_F(Sim, FaultFromFrameK)
{
    Open();
    (*sp)->SetFault(Fault::NotOk, 3);
    EXPECT_EQ(WriteNotSave(kSettings), 1);
    EXPECT_EQ(WriteNotSave(kSettings), 1);
    EXPECT_EQ(WriteNotSave(kSettings), 0);
    EXPECT_EQ(WriteNotSave(kSettings), 0);
    (*sp)->SetFault(Fault::None);
    EXPECT_EQ(WriteNotSave(kSettings), 1);
}

TEST_F(Sim, CorruptWriteIsAnsweredOkButStoredWithOneBitFlipped)
{
    Open();
    (*sp)->SetFault(Fault::Corrupt, 1, 3);
    EXPECT_EQ(WriteNotSave(kSettings), 1);  // frame 1: not a write to memory, untouched
    const auto data = Pattern(1024, 1);
    const auto rec = Pattern(256, 2);
    EXPECT_EQ(Write1KData_Ex(5, 1, data.data()), 1);
    EXPECT_EQ(WriteSpecial(rec.data()), 1);
    EXPECT_EQ(Write1KData_Ex(5, 2, data.data()), 1);  // frame 4: past the fault
    auto flipped = data;
    flipped[0] ^= 0x10;
    EXPECT_EQ((*sp)->Block(5, 1), flipped);
    EXPECT_EQ((*sp)->Block(5, 2), data);
    auto recFlipped = rec;
    recFlipped[16] ^= 0x01;
    const auto stored = (*sp)->ConfigRecord();
    EXPECT_TRUE(std::equal(recFlipped.begin(), recFlipped.end(), stored.begin()));
    EXPECT_EQ((*sp)->LastPayload('D'), korvex::test::Concat({'D'}, rec));  // as received
    EXPECT_EQ(Results(), (std::vector<std::string>{"OK", "corrupt", "corrupt", "OK"}));
}

TEST_F(Sim, NoisyReadChangesOneReplyByteAndNotTheMemory)
{
    Open();
    const auto data = Pattern(1024, 3);
    (*sp)->SetBlock(9, 2, data);
    (*sp)->SetFault(Fault::NoisyRead, 1, 2);
    EXPECT_EQ(WriteNotSave(kSettings), 1);  // frame 1: not a read, untouched
    std::vector<uint8_t> got(1024);
    ASSERT_EQ(Read1KData(9, 2, got.data()), 1);
    auto noisy = data;
    noisy[2 * 131 % 1024] ^= 0x08;
    EXPECT_EQ(got, noisy);
    ASSERT_EQ(Read1KData(9, 2, got.data()), 1);  // frame 3: past the fault
    EXPECT_EQ(got, data);
    EXPECT_EQ((*sp)->Block(9, 2), data);
    EXPECT_EQ(Results(), (std::vector<std::string>{"OK", "noisy-read", "DATA"}));
}

TEST_F(Sim, UnplugEndsTheExchangeAndTheDevice)
{
    Open();
    (*sp)->SetFault(Fault::Unplug, 2);
    EXPECT_EQ(WriteNotSave(kSettings), 1);
    const auto start = Clock::now();
    std::vector<uint8_t> dest(1024, 1);
    EXPECT_EQ(Read1KData(127, 3, dest.data()), 0);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(ComClose(), 1);
    EXPECT_EQ(ComInitial(1, 38400), 0);
}

TEST_F(Sim, UnplugFromTheTest)
{
    Open();
    (*sp)->Unplug();
    EXPECT_EQ(WriteNotSave(kSettings), 0);
    EXPECT_EQ(ComClose(), 1);
    EXPECT_EQ(ComInitial(1, 38400), 0);
}

// ---- Parser ----

class SimWire : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.Start());
        fd = open(sim.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override
    {
        if (fd >= 0)
            close(fd);
        sim.Stop();
    }
    void Send(const std::vector<uint8_t> &bytes)
    {
        ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Everything that arrives within `ms`.
    std::vector<uint8_t> Collect(int ms)
    {
        std::vector<uint8_t> got;
        const auto start = Clock::now();
        uint8_t buf[2048];
        while (MsSince(start) < ms) {
            const ssize_t r = read(fd, buf, sizeof buf);
            if (r > 0)
                got.insert(got.end(), buf, buf + r);
            else
                usleep(2000);
        }
        return got;
    }

    korvex::sim::Simulator sim;
    int fd = -1;
};

TEST_F(SimWire, GarbageBeforeAFrameIsSkipped)
{
    const auto frame = FrameFor({'E', 0, 0, 0});
    Send(korvex::test::Concat({0x00, 0x1B, '$', 'Q', 0xFF, 0x1B, 0x1B}, frame));
    EXPECT_EQ(Collect(150), std::vector<uint8_t>({'O', 'K'}));
    EXPECT_EQ(sim.FrameCount(), 1);
    EXPECT_GT(sim.GarbageBytes(), 0);
}

TEST_F(SimWire, BadCrcGetsNoReplyAndTheNextFrameIsServed)
{
    auto bad = FrameFor({'E', 1, 2, 3});
    bad.back() ^= 0x01;
    Send(bad);
    EXPECT_TRUE(Collect(150).empty());
    Send(FrameFor({'E', 1, 2, 3}));
    EXPECT_EQ(Collect(150), std::vector<uint8_t>({'O', 'K'}));
    const auto log = sim.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_FALSE(log[0].crcOk);
    EXPECT_TRUE(log[1].crcOk);
}

TEST_F(SimWire, FrameInsideATruncatedOneIsFound)
{
    // A frame abandoned half-way, then a complete one: the parser must not
    // swallow the second as the first's remainder.
    auto big = FrameFor(korvex::test::Concat({'C', 0, 0}, Pattern(1024, 1)));
    big.resize(300);
    Send(big);
    Send(FrameFor({'E', 0, 0, 0}));
    EXPECT_EQ(Collect(600), std::vector<uint8_t>({'O', 'K'}));
}

TEST_F(SimWire, ImpossibleLengthIsGarbage)
{
    Send(korvex::test::Concat(korvex::test::HeaderBytes(), {0xFF, 0xFF, 'E'}));
    Send(FrameFor({'E', 0, 0, 0}));
    EXPECT_EQ(Collect(150), std::vector<uint8_t>({'O', 'K'}));
}

TEST_F(SimWire, FrameSplitAcrossWritesIsAssembled)
{
    const auto frame = FrameFor(korvex::test::Concat({'C', 0, 0x10}, Pattern(1024, 4)));
    for (size_t off = 0; off < frame.size(); off += 100) {
        Send(std::vector<uint8_t>(frame.begin() + off,
                                  frame.begin() + std::min(frame.size(), off + 100)));
        usleep(5000);
    }
    EXPECT_EQ(Collect(150), std::vector<uint8_t>({'O', 'K'}));
    EXPECT_EQ(sim.Block(1, 0), Pattern(1024, 4));
}

TEST_F(SimWire, UnknownCommandsAndWrongLengthsGetNoReply)
{
    Send(FrameFor({'Z', 1}));
    Send(FrameFor({'E', 0}));  // 'E' needs three setting bytes
    EXPECT_TRUE(Collect(150).empty());
    const auto log = sim.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].command, '?');
    EXPECT_EQ(log[1].result, "unknown");
}

// ---- Pacing ----

TEST_F(Sim, PacedExchangesTakeTheirLineTime)
{
    Options o;
    o.baudPacing = 38400;
    Open(o);
    const double byteMs = 10.0 * 1000 / 38400;
    const auto data = Pattern(1024, 5);
    auto start = Clock::now();
    EXPECT_EQ(Write1KData_Ex(0, 0, data.data()), 1);
    double ms = MsSince(start);
    EXPECT_GE(ms, (1040 + 2) * byteMs - 1);
    EXPECT_LT(ms, (1040 + 2) * byteMs + 60);
    std::vector<uint8_t> dest(1024);
    start = Clock::now();
    EXPECT_EQ(Read1KData(0, 0, dest.data()), 1);
    ms = MsSince(start);
    EXPECT_GE(ms, (16 + 1024) * byteMs - 1);
    EXPECT_LT(ms, (16 + 1024) * byteMs + 60);
    EXPECT_EQ(dest, data);
}

// ---- Log and memory file ----

TEST_F(Sim, LogLinesOnStderrWhenAsked)
{
    Options o;
    o.logToStderr = true;
    Open(o);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Write1KData_Ex(3, 2, Pattern(1024, 0).data()), 1);
    EXPECT_EQ(WriteNotSave(kSettings), 1);
    usleep(20000);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("C page 3 block 2 -> OK"), std::string::npos) << err;
    EXPECT_NE(err.find("E 01 00 02 -> OK"), std::string::npos) << err;
}

TEST(SimMemory, KeptInAFileAcrossRuns)
{
    char dir[] = "/tmp/korvex-sim-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/memory.bin";
    const auto data = Pattern(1024, 9);
    {
        Options o;
        o.memoryFile = file;
        SimPort sp(o);
        ASSERT_TRUE(sp.ok());
        ASSERT_EQ(ComInitial(1, 38400), 1);
        EXPECT_EQ(Write1KData_Ex(42, 1, data.data()), 1);
        EXPECT_EQ(WriteSpecial(Pattern(256, 2).data()), 1);
        EXPECT_EQ(ComClose(), 1);
    }
    {
        Options o;
        o.memoryFile = file;
        SimPort sp(o);
        ASSERT_TRUE(sp.ok());
        EXPECT_EQ(sp->Block(42, 1), data);
        const auto rec = sp->ConfigRecord();
        EXPECT_EQ(rec[5], Pattern(256, 2)[5]);  // the stored record, not the initial one
    }
    // A file that is not a memory image is ignored and then replaced.
    FILE *f = std::fopen(file.c_str(), "wb");
    std::fputs("not a memory image", f);
    std::fclose(f);
    {
        Options o;
        o.memoryFile = file;
        korvex::sim::Simulator s(o);
        EXPECT_EQ(s.ConfigRecord()[0], 'V');
        EXPECT_TRUE(s.SaveMemory());
    }
    std::remove(file.c_str());
    rmdir(dir);
}

TEST(SimLink, SymlinkMadeAndRemoved)
{
    char dir[] = "/tmp/korvex-sim-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/ttyKORVEX";
    // One left by an earlier run that was killed: replaced.
    ASSERT_EQ(symlink("/nonexistent/pts-of-an-earlier-run", link.c_str()), 0);
    {
        Options o;
        o.linkPath = link;
        korvex::sim::Simulator s(o);
        ASSERT_TRUE(s.Start());
        char target[256] = {};
        ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(s.SlavePath(), target);
        setenv("KORVEX_COM5", link.c_str(), 1);
        EXPECT_EQ(ComInitial(5, 38400), 1);  // the port opens through the link
        EXPECT_EQ(WriteNotSave(kSettings), 1);
        EXPECT_EQ(ComClose(), 1);
        setenv("KORVEX_COM5", "/nonexistent/korvex-test-com5", 1);
    }
    EXPECT_NE(access(link.c_str(), F_OK), 0);
    rmdir(dir);
}

TEST(SimLink, AFileInTheWayIsKept)
{
    char dir[] = "/tmp/korvex-sim-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    Options o;
    o.linkPath = std::string(dir) + "/notes.txt";
    FILE *f = std::fopen(o.linkPath.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("the operator's notes", f);
    std::fclose(f);
    {
        korvex::sim::Simulator s(o);
        EXPECT_FALSE(s.Start());
    }
    char text[64] = {};
    f = std::fopen(o.linkPath.c_str(), "r");
    ASSERT_NE(f, nullptr);
    EXPECT_NE(std::fgets(text, sizeof text, f), nullptr);
    std::fclose(f);
    EXPECT_STREQ(text, "the operator's notes");
    std::remove(o.linkPath.c_str());
    rmdir(dir);
}
