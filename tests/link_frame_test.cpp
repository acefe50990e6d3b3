// Frame bytes, CRC-16/XMODEM and address bytes, checked against fixed
// values worked out by hand.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "link/frame.h"
#include "tests/support/pty_peer.h"

using namespace korvex::link;
using korvex::test::Bytes;
using korvex::test::Concat;
using korvex::test::HeaderBytes;

namespace {

std::vector<uint8_t> Frame(const std::vector<uint8_t> &payload)
{
    std::vector<uint8_t> out(kMaxFrame);
    const size_t n = BuildFrame(payload.data(), payload.size(), out.data());
    out.resize(n);
    return out;
}

uint16_t BitwiseCrc(const std::vector<uint8_t> &data)
{
    uint16_t crc = 0;
    for (uint8_t b : data) {
        crc ^= static_cast<uint16_t>(b << 8);
        for (int i = 0; i < 8; ++i)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

}  // namespace

// ---- CRC ----

TEST(Crc16Xmodem, CheckValueOfTheNineDigits)
{
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16Xmodem(digits, sizeof digits), 0x31C3);
}

TEST(Crc16Xmodem, TableMatchesTheBitwiseDefinition)
{
    std::mt19937 rng(7);
    for (int len : {0, 1, 2, 3, 255, 1029}) {
        std::vector<uint8_t> data(static_cast<size_t>(len));
        for (auto &b : data)
            b = static_cast<uint8_t>(rng());
        EXPECT_EQ(Crc16Xmodem(data.data(), data.size()), BitwiseCrc(data)) << "length " << len;
    }
    for (int b = 0; b < 256; ++b) {
        const uint8_t one = static_cast<uint8_t>(b);
        EXPECT_EQ(Crc16Xmodem(&one, 1), BitwiseCrc({one})) << "byte " << b;
    }
}

TEST(Crc16Xmodem, CoversLengthBytesThenPayloadOnly)
{
    const uint8_t g = 'G';
    EXPECT_EQ(FrameCrc(&g, 1), 0x0B12);
    // Continuing from a register equals one pass over the joined bytes.
    const uint8_t len[2] = {0x00, 0x01};
    EXPECT_EQ(Crc16Xmodem(&g, 1, Crc16Xmodem(len, 2)), 0x0B12);
}

// ---- Frames ----

TEST(FrameBuilder, WorkedFrames)
{
    EXPECT_EQ(Frame({'G'}), Concat(HeaderBytes(), Bytes({0x00, 0x01, 0x47, 0x0B, 0x12})));
    EXPECT_EQ(Frame({0x41, 0x07, 0xFC}),
              Concat(HeaderBytes(), Bytes({0x00, 0x03, 0x41, 0x07, 0xFC, 0x06, 0x45})));
    EXPECT_EQ(Frame({0x41, 0x00, 0x00}),
              Concat(HeaderBytes(), Bytes({0x00, 0x03, 0x41, 0x00, 0x00, 0xB1, 0x41})));
    EXPECT_EQ(Frame({0x45, 0x00, 0x00, 0x00}),
              Concat(HeaderBytes(), Bytes({0x00, 0x04, 0x45, 0x00, 0x00, 0x00, 0x5B, 0xDF})));
}

TEST(FrameBuilder, LongPayloadsCarryBigEndianLengthAndCrc)
{
    for (size_t n : {size_t{257}, size_t{1027}}) {
        std::vector<uint8_t> payload(n);
        for (size_t i = 0; i < n; ++i)
            payload[i] = static_cast<uint8_t>(i * 7 + 3);
        const auto f = Frame(payload);
        ASSERT_EQ(f.size(), n + 13);
        EXPECT_EQ(f[9], n >> 8);
        EXPECT_EQ(f[10], n & 0xFF);
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), f.begin() + 11));
        std::vector<uint8_t> covered(f.begin() + 9, f.end() - 2);
        const uint16_t crc = BitwiseCrc(covered);
        EXPECT_EQ(f[n + 11], crc >> 8);
        EXPECT_EQ(f[n + 12], crc & 0xFF);
    }
}

TEST(FrameBuilder, RefusesPayloadsOutOfRange)
{
    std::vector<uint8_t> out(kMaxFrame + 16, 0xEE);
    std::vector<uint8_t> big(kMaxPayload + 1, 0x43);
    EXPECT_EQ(BuildFrame(big.data(), 0, out.data()), 0u);
    EXPECT_EQ(BuildFrame(big.data(), big.size(), out.data()), 0u);
    EXPECT_EQ(out[0], 0xEE);  // nothing written
}

TEST(FrameBuilder, ReplyLengthPerCommand)
{
    EXPECT_EQ(ReplyLength('A'), 1024u);
    EXPECT_EQ(ReplyLength('G'), 0u);
    for (char c : {'B', 'C', 'D', 'E', 'F'})
        EXPECT_EQ(ReplyLength(static_cast<uint8_t>(c)), 2u) << c;
}

// ---- Address bytes ----

TEST(AddressBytes, TableOfPagesAndBlocks)
{
    struct Row {
        int page, block, b1, b2;
    } rows[] = {{0, 0, 0x00, 0x00},   {0, 3, 0x00, 0x0C},   {1, 0, 0x00, 0x10},
                {8, 0, 0x00, 0x80},   {119, 3, 0x07, 0x7C}, {127, 0, 0x07, 0xF0},
                {127, 1, 0x07, 0xF4}, {127, 2, 0x07, 0xF8}, {127, 3, 0x07, 0xFC},
                {255, 3, 0x0F, 0xFC}};
    for (const Row &r : rows) {
        uint8_t a[2];
        AddressBytes(r.page, r.block, a);
        EXPECT_EQ(a[0], r.b1) << r.page << "/" << r.block;
        EXPECT_EQ(a[1], r.b2) << r.page << "/" << r.block;
    }
}

TEST(AddressBytes, AreTheBlockOffsetIn256ByteUnits)
{
    for (int page = 0; page < 256; ++page) {
        for (int block = 0; block < 4; ++block) {
            uint8_t a[2];
            AddressBytes(page, block, a);
            EXPECT_EQ((a[0] << 8) | a[1], (page * 4096 + block * 1024) / 256);
        }
    }
}

TEST(AddressBytes, OutOfRangeArgumentsStayWellDefined)
{
    uint8_t a[2];
    AddressBytes(-1, 0, a);  // the page shifts with its sign
    EXPECT_EQ(a[0], 0x0F);
    EXPECT_EQ(a[1], 0xF0);
    AddressBytes(256, 0, a);
    EXPECT_EQ(a[0], 0x00);
    EXPECT_EQ(a[1], 0x00);
    AddressBytes(1, 0x7FFFFFFF, a);  // no overflow, only low bits count
    EXPECT_EQ(a[1], static_cast<uint8_t>((4u + 0x7FFFFFFFu) * 4u));
    AddressBytes(1, 256 + 2, a);
    EXPECT_EQ(a[1], 0x18);
}
