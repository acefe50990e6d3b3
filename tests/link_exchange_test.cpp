// The exported commands against a scripted controller on a pty: the exact
// bytes on the wire, every outcome of the exchange, the resend rule and the
// read deadline.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

#include "link/korvex_api.h"
#include "tests/support/pty_peer.h"

using korvex::test::Bytes;
using korvex::test::Concat;
using korvex::test::HeaderBytes;
using korvex::test::MsSince;
using korvex::test::PtyPeer;
using Clock = std::chrono::steady_clock;

namespace {

const std::vector<uint8_t> kOk = {'O', 'K'};

std::vector<uint8_t> Pattern(size_t n, int seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 31 + seed);
    return v;
}

// Payload of a recorded frame (between the length bytes and the CRC).
std::vector<uint8_t> PayloadOf(const std::vector<uint8_t> &frame)
{
    if (frame.size() < 13)
        return {};
    return std::vector<uint8_t>(frame.begin() + 11, frame.end() - 2);
}

class Exchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.ok());
        peer.Start();
        ASSERT_EQ(ComInitial(1, 38400), 1);
    }
    void TearDown() override { ComClose(); }

    PtyPeer peer{1};
};

}  // namespace

// ---- Bytes on the wire ----

TEST_F(Exchange, WorkedFramesGoOutExactly)
{
    EXPECT_EQ(ResetCard(), 1);
    ASSERT_TRUE(peer.WaitFrames(1, 1000));
    EXPECT_EQ(peer.Frames()[0], Concat(HeaderBytes(), Bytes({0x00, 0x01, 0x47, 0x0B, 0x12})));

    peer.Script(std::vector<uint8_t>(1024, 0));
    uint8_t block[1024];
    EXPECT_EQ(Read1KData(127, 3, block), 1);
    EXPECT_EQ(peer.Frames()[1],
              Concat(HeaderBytes(), Bytes({0x00, 0x03, 0x41, 0x07, 0xFC, 0x06, 0x45})));

    peer.Script(std::vector<uint8_t>(1024, 0));
    EXPECT_EQ(Read1KData(0, 0, block), 1);
    EXPECT_EQ(peer.Frames()[2],
              Concat(HeaderBytes(), Bytes({0x00, 0x03, 0x41, 0x00, 0x00, 0xB1, 0x41})));

    peer.Script(kOk);
    const uint8_t settings[3] = {0, 0, 0};
    EXPECT_EQ(WriteNotSave(settings), 1);
    EXPECT_EQ(peer.Frames()[3],
              Concat(HeaderBytes(), Bytes({0x00, 0x04, 0x45, 0x00, 0x00, 0x00, 0x5B, 0xDF})));
    EXPECT_EQ(peer.RawBytes().size(), 14u + 16 + 16 + 17);  // nothing but the frames
}

TEST_F(Exchange, BlockWritesCarryAddressAndDataInCallerOrder)
{
    const auto data = Pattern(1024, 5);
    peer.Script(kOk);
    EXPECT_EQ(Write1KData(8, 0, data.data()), 1);
    peer.Script(kOk);
    EXPECT_EQ(Write1KData_Ex(0, 0, data.data()), 1);
    peer.Script(kOk);
    EXPECT_EQ(Write1KData(127, 2, data.data()), 1);
    const auto frames = peer.Frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(PayloadOf(frames[0]), Concat(Bytes({0x42, 0x00, 0x80}), data));
    EXPECT_EQ(PayloadOf(frames[1]), Concat(Bytes({0x43, 0x00, 0x00}), data));
    EXPECT_EQ(PayloadOf(frames[2]), Concat(Bytes({0x42, 0x07, 0xF8}), data));
    EXPECT_EQ(frames[0][9], 0x04);
    EXPECT_EQ(frames[0][10], 0x03);
}

TEST_F(Exchange, RecordSettingsAndTimePayloads)
{
    const auto record = Pattern(256, 9);
    peer.Script(kOk);
    EXPECT_EQ(WriteSpecial(record.data()), 1);
    const uint8_t settings[3] = {1, 0, 5};
    peer.Script(kOk);
    EXPECT_EQ(WriteNotSave(settings), 1);

    auto bcdNow = [] {
        std::time_t t = std::time(nullptr);
        std::tm tm{};
        localtime_r(&t, &tm);
        auto bcd = [](int v) { return static_cast<uint8_t>(((v / 10) << 4) | (v % 10)); };
        return Bytes({0x46, bcd(tm.tm_sec), bcd(tm.tm_min), bcd(tm.tm_hour), bcd(tm.tm_mday)});
    };
    const auto before = bcdNow();
    peer.Script(kOk);
    EXPECT_EQ(SetTime(), 1);
    const auto after = bcdNow();

    const auto frames = peer.Frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(PayloadOf(frames[0]), Concat(Bytes({0x44}), record));
    EXPECT_EQ(frames[0][9], 0x01);
    EXPECT_EQ(frames[0][10], 0x01);
    EXPECT_EQ(PayloadOf(frames[1]), Bytes({0x45, 1, 0, 5}));
    const auto time = PayloadOf(frames[2]);
    EXPECT_TRUE(time == before || time == after);
}

TEST_F(Exchange, TimeIsTheLocalTimeOfTheZone)
{
    // A zone 5:30 ahead of UTC: UTC digits would differ in hours and minutes.
    const char *oldTz = std::getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";
    setenv("TZ", "KVX-5:30", 1);
    tzset();
    auto bcdNow = [](bool local) {
        std::time_t t = std::time(nullptr);
        std::tm tm{};
        if (local)
            localtime_r(&t, &tm);
        else
            gmtime_r(&t, &tm);
        auto bcd = [](int v) { return static_cast<uint8_t>(((v / 10) << 4) | (v % 10)); };
        return Bytes({0x46, bcd(tm.tm_sec), bcd(tm.tm_min), bcd(tm.tm_hour), bcd(tm.tm_mday)});
    };
    const auto before = bcdNow(true);
    peer.Script(kOk);
    EXPECT_EQ(SetTime(), 1);
    const auto after = bcdNow(true);
    const auto utc = bcdNow(false);
    if (oldTz)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    ASSERT_EQ(peer.FrameCount(), 1);
    const auto time = PayloadOf(peer.Frames()[0]);
    EXPECT_TRUE(time == before || time == after);
    EXPECT_NE(time[2], utc[2]);  // minutes: 30 apart
}

TEST_F(Exchange, AllByteValuesPassBothWays)
{
    // Control characters (XON/XOFF, CR/LF, ^C, ^D, DEL) included: the line
    // must not translate, swallow or act on any of them.
    std::vector<uint8_t> all(1024);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<uint8_t>(i);
    peer.Script(kOk);
    EXPECT_EQ(Write1KData_Ex(3, 1, all.data()), 1);
    ASSERT_EQ(peer.FrameCount(), 1);
    EXPECT_EQ(PayloadOf(peer.Frames()[0]), Concat(Bytes({0x43, 0x00, 0x34}), all));

    std::vector<uint8_t> reversed(all.rbegin(), all.rend());
    peer.Script(reversed);
    std::vector<uint8_t> got(1024, 0xAA);
    EXPECT_EQ(Read1KData(3, 1, got.data()), 1);
    EXPECT_EQ(got, reversed);
}

TEST_F(Exchange, RefusalsSendNothing)
{
    const auto data = Pattern(1024, 1);
    EXPECT_EQ(Write1KData(7, 0, data.data()), 0);
    EXPECT_EQ(Write1KData(-1, 0, data.data()), 0);
    EXPECT_EQ(Write1KData(-2147483647 - 1, 3, data.data()), 0);
    EXPECT_EQ(Read1KData(127, 3, nullptr), 0);
    EXPECT_EQ(Write1KData_Ex(0, 0, nullptr), 0);
    EXPECT_EQ(WriteSpecial(nullptr), 0);
    EXPECT_EQ(WriteNotSave(nullptr), 0);
    usleep(50000);
    EXPECT_TRUE(peer.RawBytes().empty());
}

// ---- Outcomes and the resend rule ----

TEST_F(Exchange, OkOnFirstAttempt)
{
    peer.Script(kOk);
    const uint8_t s[3] = {0, 1, 2};
    EXPECT_EQ(WriteNotSave(s), 1);
    EXPECT_EQ(peer.FrameCount(), 1);
}

TEST_F(Exchange, CompleteReplyOtherThanOkFailsWithoutResend)
{
    peer.Script(Bytes({'N', 'O'}));
    const auto data = Pattern(1024, 2);
    const auto start = Clock::now();
    EXPECT_EQ(Write1KData(9, 1, data.data()), 0);
    EXPECT_LT(MsSince(start), 500);
    usleep(100000);
    EXPECT_EQ(peer.FrameCount(), 1);
    peer.Script(Bytes({'o', 'k'}));  // case matters
    EXPECT_EQ(Write1KData(9, 1, data.data()), 0);
    peer.Script(Bytes({'K', 'O'}));
    EXPECT_EQ(Write1KData(9, 1, data.data()), 0);
    EXPECT_EQ(peer.FrameCount(), 3);
}

TEST_F(Exchange, SingleByteRepliesResendOnceThenFail)
{
    peer.Script(Bytes({'O'}));
    peer.Script(Bytes({'O'}));
    const uint8_t s[3] = {0, 0, 0};
    const auto start = Clock::now();
    EXPECT_EQ(WriteNotSave(s), 0);
    const double ms = MsSince(start);
    EXPECT_EQ(peer.FrameCount(), 2);
    EXPECT_EQ(peer.Frames()[0], peer.Frames()[1]);  // the whole frame again
    EXPECT_GT(ms, 2 * 1200 - 50);
    EXPECT_LT(ms, 2 * 1200 + 400);
}

TEST_F(Exchange, ShortThenOkSucceedsOnSecondAttempt)
{
    peer.Script(Bytes({'O'}));
    peer.Script(kOk);
    const uint8_t s[3] = {0, 0, 0};
    EXPECT_EQ(WriteNotSave(s), 1);
    EXPECT_EQ(peer.FrameCount(), 2);
}

TEST_F(Exchange, ReadKeepsOnlyTheCompleteSecondReply)
{
    peer.Script(Pattern(1000, 1));
    const auto second = Pattern(1024, 2);
    peer.Script(second);
    std::vector<uint8_t> dest(1024, 0xEE);
    EXPECT_EQ(Read1KData(20, 2, dest.data()), 1);
    EXPECT_EQ(dest, second);
    EXPECT_EQ(peer.FrameCount(), 2);
}

TEST_F(Exchange, ReadAnsweredWithOkLeavesDestinationUntouched)
{
    peer.Script(kOk);
    peer.Script(kOk);
    std::vector<uint8_t> dest(1024, 0xEE);
    EXPECT_EQ(Read1KData(127, 3, dest.data()), 0);
    EXPECT_EQ(dest, std::vector<uint8_t>(1024, 0xEE));
    EXPECT_EQ(peer.FrameCount(), 2);
}

TEST_F(Exchange, ReadWithLongerReplyTakesTheFirst1024Bytes)
{
    const auto first = Pattern(1024, 4);
    peer.Script(Concat(first, Bytes({1, 2, 3})));
    std::vector<uint8_t> dest(1024);
    EXPECT_EQ(Read1KData(1, 0, dest.data()), 1);
    EXPECT_EQ(dest, first);
    // The three extra bytes are purged before the next exchange.
    peer.Script(kOk);
    const uint8_t s[3] = {0, 0, 0};
    EXPECT_EQ(WriteNotSave(s), 1);
}

TEST_F(Exchange, ExtraBytesAfterOkAreDiscardedByTheNextExchange)
{
    peer.Script(Bytes({'O', 'K', 'N', 'O'}));
    const uint8_t s[3] = {0, 0, 0};
    EXPECT_EQ(WriteNotSave(s), 1);
    usleep(50000);  // let the extra bytes land in the receive queue
    peer.Script(kOk);
    EXPECT_EQ(WriteNotSave(s), 1);
    EXPECT_EQ(peer.FrameCount(), 2);
}

TEST_F(Exchange, LateOkIsPurgedAndThePromptSecondOkCounts)
{
    peer.Script(kOk, 1350);  // after the 1200 ms read
    peer.Script(kOk);
    const uint8_t s[3] = {0, 0, 0};
    const auto start = Clock::now();
    EXPECT_EQ(WriteNotSave(s), 1);
    EXPECT_EQ(peer.FrameCount(), 2);
    EXPECT_GT(MsSince(start), 1150);
    usleep(300000);  // the late "OK" arrives now and waits in the queue
    peer.Script(Bytes({'N', 'O'}));
    EXPECT_EQ(WriteNotSave(s), 0);  // judged on its own reply, not the stale one
}

TEST_F(Exchange, RestartDoesNotWaitForAReply)
{
    const auto start = Clock::now();
    EXPECT_EQ(ResetCard(), 1);
    EXPECT_LT(MsSince(start), 200);
    EXPECT_TRUE(peer.WaitFrames(1, 1000));
    usleep(50000);
    EXPECT_EQ(peer.FrameCount(), 1);
}

TEST_F(Exchange, FrameWithoutReplySurvivesTheNextPurge)
{
    // A restart awaits no reply; the purge that begins the very next
    // exchange must not take it back before the controller has read it.
    const int rounds = 30;
    const uint8_t s[3] = {0, 0, 0};
    for (int i = 0; i < rounds; ++i) {
        // The peer answers frames in the order they arrive, whenever it
        // reads them: the restart's "answer" is nothing, the OK is the
        // command's.
        peer.Script(std::vector<uint8_t>{});
        peer.Script(kOk);
        EXPECT_EQ(ResetCard(), 1);
        EXPECT_EQ(WriteNotSave(s), 1);
    }
    EXPECT_TRUE(peer.WaitFrames(2 * rounds, 2000));
    const auto frames = peer.Frames();
    ASSERT_EQ(frames.size(), static_cast<size_t>(2 * rounds));
    for (int i = 0; i < rounds; ++i) {
        EXPECT_EQ(frames[2 * i][11], 'G');
        EXPECT_EQ(frames[2 * i + 1][11], 'E');
    }
}

// ---- Read deadline ----

TEST_F(Exchange, CompleteReplyReturnsPromptly)
{
    peer.Script(std::vector<uint8_t>(1024, 0x5A));
    std::vector<uint8_t> dest(1024);
    const auto start = Clock::now();
    EXPECT_EQ(Read1KData(5, 0, dest.data()), 1);
    EXPECT_LT(MsSince(start), 150);
}

TEST_F(Exchange, ReplyInPiecesIsCollectedWithinOneRead)
{
    const auto data = Pattern(1024, 8);
    korvex::test::ScriptedReply r;
    r.bytes.assign(data.begin(), data.begin() + 500);
    r.tail.assign(data.begin() + 500, data.end());
    r.tailDelayMs = 700;
    peer.Script(r);
    std::vector<uint8_t> dest(1024);
    const auto start = Clock::now();
    EXPECT_EQ(Read1KData(5, 0, dest.data()), 1);
    const double ms = MsSince(start);
    EXPECT_EQ(dest, data);
    EXPECT_EQ(peer.FrameCount(), 1);
    EXPECT_GT(ms, 690);
    EXPECT_LT(ms, 900);  // returns as soon as the last byte is in
}

TEST_F(Exchange, PartialReplyEndsAtTheDeadline)
{
    korvex::test::ScriptedReply r;
    r.bytes = Bytes({'O'});
    r.tail = Bytes({'K'});
    r.tailDelayMs = 1300;  // the second byte comes too late for this read
    peer.Script(r);
    peer.Script(kOk);
    const uint8_t s[3] = {0, 0, 0};
    const auto start = Clock::now();
    EXPECT_EQ(WriteNotSave(s), 1);
    EXPECT_EQ(peer.FrameCount(), 2);
    const double ms = MsSince(start);
    EXPECT_GT(ms, 1190);
    EXPECT_LT(ms, 1500);
}

TEST_F(Exchange, SilentControllerCostsTwoReads)
{
    std::vector<uint8_t> dest(1024, 0x11);
    const auto start = Clock::now();
    EXPECT_EQ(Read1KData(127, 3, dest.data()), 0);
    const double ms = MsSince(start);
    EXPECT_GT(ms, 2 * 1200 - 20);
    EXPECT_LT(ms, 2 * 1200 + 400);
    EXPECT_EQ(peer.FrameCount(), 2);
    EXPECT_EQ(dest, std::vector<uint8_t>(1024, 0x11));
}

TEST_F(Exchange, PeerHangingUpEndsTheReadAtOnce)
{
    peer.ScriptHangUp(100);
    std::vector<uint8_t> dest(1024, 0x22);
    const auto start = Clock::now();
    const std::clock_t cpu0 = std::clock();
    EXPECT_EQ(Read1KData(127, 3, dest.data()), 0);
    const double ms = MsSince(start);
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
    EXPECT_LT(ms, 1000);    // not the 2.4 s of a silent line
    EXPECT_LT(cpuMs, 200);  // and no busy loop while it lasted
    EXPECT_EQ(dest, std::vector<uint8_t>(1024, 0x22));
    EXPECT_EQ(ComClose(), 1);
    EXPECT_EQ(ComInitial(1, 38400), 0);  // the device is gone
}

// ---- Silence ----

TEST_F(Exchange, NothingIsPrintedUnlessTraceIsAsked)
{
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    peer.Script(Bytes({'N', 'O'}));
    const uint8_t s[3] = {0, 0, 0};
    EXPECT_EQ(WriteNotSave(s), 0);
    EXPECT_EQ(Read1KData(1, 1, nullptr), 0);
    EXPECT_EQ(ComClose(), 1);
    EXPECT_EQ(ComClose(), 0);
    EXPECT_EQ(ComInitial(1, 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(Exchange, TraceFileHoldsTheLatestConnection)
{
    ComClose();  // the fixture's connection, untraced
    char dir[] = "/tmp/korvex-trace-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/trace";
    auto contents = [&file] {
        std::string text;
        if (FILE *f = std::fopen(file.c_str(), "r")) {
            char buf[512];
            while (std::fgets(buf, sizeof buf, f))
                text += buf;
            std::fclose(f);
        }
        return text;
    };
    setenv("KORVEX_LINK_TRACE", file.c_str(), 1);
    testing::internal::CaptureStderr();

    ASSERT_EQ(ComInitial(1, 38400), 1);
    peer.Script(Bytes({'N', 'O'}));
    const uint8_t s[3] = {0, 0, 0};
    EXPECT_EQ(WriteNotSave(s), 0);
    EXPECT_EQ(ComClose(), 1);
    EXPECT_EQ(contents(), "korvex_api: port 1 open: ok " + peer.SlavePath() +
                              "\nkorvex_api: 'E' attempt 1, 17 bytes sent, reply 2/2 4E 4F\n");
    // The next connection starts the file afresh, a failed open too.
    EXPECT_EQ(ComInitial(4, 38400), 0);
    const std::string failed = contents();
    EXPECT_EQ(failed.rfind("korvex_api: port 4 open: missing /nonexistent/korvex-test-com4 (", 0),
              0u)
        << failed;
    EXPECT_EQ(std::count(failed.begin(), failed.end(), '\n'), 1) << failed;

    unsetenv("KORVEX_LINK_TRACE");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    std::remove(file.c_str());
    rmdir(dir);
}
