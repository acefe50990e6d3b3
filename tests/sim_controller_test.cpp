// The simulator's parts without a pty: the controller at every block
// address and with every payload length, and the frame reader fed in
// chunks on a clock the test sets. Frames and addresses come from the
// host's own builders, so both sides are checked against each other.
#include <gtest/gtest.h>

#include <vector>

#include "link/frame.h"
#include "sim/controller.h"
#include "sim/frame_reader.h"

using korvex::sim::Controller;
using korvex::sim::FrameReader;
using korvex::sim::Request;

namespace {

std::vector<uint8_t> FrameFor(const std::vector<uint8_t> &payload)
{
    std::vector<uint8_t> f(korvex::link::kMaxFrame);
    f.resize(korvex::link::BuildFrame(payload.data(), payload.size(), f.data()));
    return f;
}

std::vector<uint8_t> Addressed(char letter, int page, int block)
{
    std::vector<uint8_t> p = {static_cast<uint8_t>(letter), 0, 0};
    korvex::link::AddressBytes(page, block, &p[1]);
    return p;
}

// Fills a block with bytes that tell every block apart.
std::vector<uint8_t> BlockContent(int page, int block)
{
    std::vector<uint8_t> data(1024);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(page * 4 + block + i * 7 + (i >> 8) * page);
    return data;
}

constexpr int64_t kMs = 1'000'000;

}  // namespace

TEST(SimController, EveryBlockAddressHoldsItsOwnBlock)
{
    Controller c("1.1", true);
    for (int page = 0; page < 256; ++page) {
        for (int block = 0; block < 4; ++block) {
            auto write = Addressed('C', page, block);
            const auto data = BlockContent(page, block);
            write.insert(write.end(), data.begin(), data.end());
            ASSERT_TRUE(c.Handle(write.data(), write.size()).understood);
        }
    }
    // Only after every write: a block written to the wrong place shows here.
    for (int page = 0; page < 256; ++page) {
        for (int block = 0; block < 4; ++block) {
            const auto read = Addressed('A', page, block);
            const auto a = c.Handle(read.data(), read.size());
            ASSERT_EQ(a.reply, BlockContent(page, block)) << "page " << page << " block " << block;
            EXPECT_EQ(c.Block(page, block), a.reply);
            EXPECT_EQ(a.entry.page, page);
            EXPECT_EQ(a.entry.block, block);
        }
    }
}

TEST(SimController, EachLetterOnlyWithItsOwnPayloadLength)
{
    const struct {
        char letter;
        size_t length;
        size_t reply;
        const char *result;
    } cases[] = {{'A', 3, 1024, "DATA"}, {'B', 1027, 2, "OK"}, {'C', 1027, 2, "OK"},
                 {'D', 257, 2, "OK"},    {'E', 4, 2, "OK"},    {'F', 5, 2, "OK"},
                 {'G', 1, 0, "none"}};
    Controller c("1.1", true);
    for (const auto &k : cases) {
        for (const size_t n : {k.length - 1, k.length, k.length + 1}) {
            if (n == 0)
                continue;
            std::vector<uint8_t> payload(n, 0);
            payload[0] = static_cast<uint8_t>(k.letter);
            const auto a = c.Handle(payload.data(), n);
            const bool right = n == k.length;
            EXPECT_EQ(a.understood, right) << k.letter << " with " << n << " bytes";
            EXPECT_EQ(a.reply.size(), right ? k.reply : 0u) << k.letter << " with " << n;
            EXPECT_EQ(a.entry.result, right ? k.result : "unknown") << k.letter << " with " << n;
        }
    }
    const uint8_t unknown[] = {'Z'};
    EXPECT_EQ(c.Handle(unknown, 1).entry.command, '?');
}

TEST(SimFrameReader, PartialFrameWaitsThroughGapsUpToTheLimitAndNoLonger)
{
    // Byte by byte, each after a pause of exactly the limit: still one frame.
    std::vector<uint8_t> payload = Addressed('C', 1, 0);
    const auto data = BlockContent(1, 0);
    payload.insert(payload.end(), data.begin(), data.end());
    const auto frame = FrameFor(payload);
    FrameReader r;
    Request got;
    int64_t now = 5 * kMs;
    for (size_t i = 0; i + 1 < frame.size(); ++i) {
        r.Feed(&frame[i], 1, now);
        now += korvex::sim::kStaleFrameNs;
        ASSERT_FALSE(r.Next(now, &got)) << "after byte " << i;
    }
    r.Feed(&frame.back(), 1, now);
    ASSERT_TRUE(r.Next(now, &got));
    EXPECT_TRUE(got.crcOk);
    EXPECT_EQ(got.payload, payload);
    EXPECT_EQ(got.arrivalNs, 5 * kMs);
    EXPECT_EQ(r.TakeSkipped(), 0);

    // A part of a frame, then silence just past the limit: it is given up,
    // and the frame that follows is served.
    r.Feed(frame.data(), 300, now);
    EXPECT_FALSE(r.Next(now + korvex::sim::kStaleFrameNs, &got));
    EXPECT_FALSE(r.Next(now + korvex::sim::kStaleFrameNs + 1, &got));
    EXPECT_EQ(r.TakeSkipped(), 300);
    const auto next = FrameFor({'E', 1, 2, 3});
    r.Feed(next.data(), next.size(), now + 300 * kMs);
    ASSERT_TRUE(r.Next(now + 300 * kMs, &got));
    EXPECT_EQ(got.payload, std::vector<uint8_t>({'E', 1, 2, 3}));
}

TEST(SimFrameReader, BadCrcThenGoodFrameInOneChunk)
{
    auto bad = FrameFor({'D', 9});
    bad.back() ^= 0x01;
    const auto good = FrameFor({'E', 1, 2, 3});
    std::vector<uint8_t> chunk = bad;
    chunk.insert(chunk.end(), good.begin(), good.end());
    chunk.push_back(0x55);  // a stray byte after the frames
    FrameReader r;
    r.Feed(chunk.data(), chunk.size(), 0);
    Request got;
    ASSERT_TRUE(r.Next(0, &got));
    EXPECT_FALSE(got.crcOk);
    EXPECT_EQ(got.payload[0], 'D');
    ASSERT_TRUE(r.Next(0, &got));
    EXPECT_TRUE(got.crcOk);
    EXPECT_EQ(got.payload, std::vector<uint8_t>({'E', 1, 2, 3}));
    EXPECT_FALSE(r.Next(0, &got));
    EXPECT_EQ(r.TakeSkipped(), static_cast<int>(bad.size()) + 1);
    EXPECT_EQ(r.RecheckAtNs(), -1);  // nothing held back
}
