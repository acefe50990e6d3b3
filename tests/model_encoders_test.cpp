// Pixel words, picture blocks, name slots and the program block.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model/encoders.h"

namespace korvex {
namespace {

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b)
{
    return r | (g << 8) | (b << 16);
}

// Low byte first, as stored in a picture block.
std::pair<int, int> Stored(uint32_t colour)
{
    const uint16_t w = PixelWord(colour);
    return {w & 0xFF, w >> 8};
}

TEST(PixelWord, ListedColours)
{
    struct Case {
        uint32_t r, g, b;
        int lo, hi;
    } cases[] = {
        {0xF0, 0, 0, 0x11, 0x11},       {0, 0xF0, 0, 0x22, 0x22},
        {0, 0, 0xF0, 0x44, 0x44},       {0xF0, 0xF0, 0xF0, 0x77, 0x77},
        {0, 0, 0x80, 0x40, 0x00},       {0x80, 0, 0, 0x10, 0x00},
        {0x30, 0x20, 0x10, 0x00, 0x35}, {0x70, 0x50, 0x30, 0x03, 0x57},
        {0x0F, 0x0F, 0x0F, 0x00, 0x00},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.r << "," << c.g << "," << c.b);
        EXPECT_EQ(Stored(Rgb(c.r, c.g, c.b)), std::make_pair(c.lo, c.hi));
    }
}

TEST(PixelWord, EachColourBitSetsItsOwnWordBitAndTheTopByteIsIgnored)
{
    // colour bit -> word bit, from the bit-plane layout
    const int map[][2] = {{23, 6},  {15, 5},  {7, 4},  {22, 2},  {14, 1}, {6, 0},
                          {21, 14}, {13, 13}, {5, 12}, {20, 10}, {12, 9}, {4, 8}};
    uint16_t all = 0;
    for (const auto &m : map) {
        EXPECT_EQ(PixelWord(1u << m[0]), 1u << m[1]) << "colour bit " << m[0];
        all = static_cast<uint16_t>(all | PixelWord(1u << m[0]));
    }
    EXPECT_EQ(all & 0x8888, 0);
    EXPECT_EQ(PixelWord(0xFF000000u | Rgb(0x0F, 0x0F, 0x0F)), 0);
    EXPECT_EQ(PixelWord(0x00FFFFFFu), 0x7777);
}

// The decoder is the encoder's inverse over every colour the host stores
// and every word it writes; a spare bit is left for the caller to see.
TEST(PixelWord, DecodesEveryColourAndEveryWordBack)
{
    for (uint32_t v = 0; v < 4096; ++v) {
        const uint32_t colour = Rgb((v & 0xF) << 4, ((v >> 4) & 0xF) << 4, ((v >> 8) & 0xF) << 4);
        ASSERT_EQ(ColourOfWord(PixelWord(colour)), colour) << std::hex << colour;
    }
    for (uint32_t w = 0; w < 0x10000; ++w) {
        if (w & kSpareWordBits)
            continue;
        ASSERT_EQ(PixelWord(ColourOfWord(static_cast<uint16_t>(w))), w) << std::hex << w;
    }
    EXPECT_EQ(ColourOfWord(0x8888), 0u);
}

TEST(PictureBlock, HoldsItsQuarterLowByteFirst)
{
    auto rec = std::make_unique<PictureRecord>();
    std::memset(rec.get(), 0, sizeof *rec);
    for (int k = 0; k < kColours; ++k)
        rec->colours[k] = Rgb((k & 0xF) << 4, ((k >> 4) & 0xF) << 4, ((k >> 8) & 0x7) << 4);
    for (int b = 0; b < 4; ++b) {
        const Block1K block = EncodePictureBlock(*rec, b);
        for (int k = 0; k < 512; ++k) {
            const uint16_t w = PixelWord(rec->colours[512 * b + k]);
            ASSERT_EQ(block[2 * k], w & 0xFF) << "block " << b << " pixel " << k;
            ASSERT_EQ(block[2 * k + 1], w >> 8) << "block " << b << " pixel " << k;
        }
    }
    // Decoded back into its quarter, with each spare bit set counted once
    // per word.
    Block1K block = EncodePictureBlock(*rec, 2);
    block[1] |= 0x80;
    block[2 * 7] |= 0x08;
    block[2 * 7 + 1] |= 0x08;
    PictureColours colours{};
    DecodePictureBlock(block, 2, colours);
    EXPECT_EQ(SpareWordCount(block), 2);
    for (int k = 0; k < 512; ++k)
        ASSERT_EQ(colours[1024 + k], rec->colours[1024 + k]) << k;
    EXPECT_EQ(colours[0], 0u);
}

class NameTable : public testing::Test {
protected:
    void SetUp() override { std::memset(lib.get(), 0, sizeof *lib); }
    void Name(int i, const char *bytes, int length)
    {
        (*lib)[i].nameLength = static_cast<uint8_t>(length);
        std::memcpy((*lib)[i].name, bytes, std::strlen(bytes));
    }
    std::unique_ptr<PictureTable> lib = std::make_unique<PictureTable>();
};

TEST_F(NameTable, FifteenByteNameIsTerminatedAndEmptyNameStartsWithZero)
{
    Name(0, "ABCDEFGHIJKLMNOPQR", 15);  // leftovers after byte 15
    Name(1, "xyz", 0);                  // an empty name over an old one
    const Block1K t = EncodeNameTable(*lib, 0);
    EXPECT_EQ(0, std::memcmp(t.data(), "ABCDEFGHIJKLMNO", 15));
    EXPECT_EQ(t[15], 0);
    EXPECT_EQ(t[16], 0);
    // What follows the terminator is the field as stored.
    EXPECT_EQ(t[17], 'y');
}

TEST_F(NameTable, SlotsFollowTheRecordIndexAcrossBothTables)
{
    Name(63, "last0", 5);
    Name(64, "first1", 6);
    Name(119, "last1", 5);
    Name(120, "nomore", 6);
    const Block1K t0 = EncodeNameTable(*lib, 0);
    const Block1K t1 = EncodeNameTable(*lib, 1);
    EXPECT_EQ(0, std::memcmp(t0.data() + 1008, "last0\0", 6));
    EXPECT_EQ(0, std::memcmp(t1.data(), "first1\0", 7));
    EXPECT_EQ(0, std::memcmp(t1.data() + 55 * 16, "last1\0", 6));
    // Slots for records 0..119 only: the tail of table 1 is left zero.
    for (int i = 896; i < 1024; ++i)
        ASSERT_EQ(t1[i], 0) << i;
}

TEST_F(NameTable, DecodesToTheBytesBeforeEachSlotsTerminator)
{
    Name(0, "ABCDEFGHIJKLMNOPQR", 15);
    Name(1, "xyz", 0);
    Name(63, "0123456789abcdefgh", 16);  // no terminator: all 16 bytes
    Name(64, "\xba\xec", 2);             // GBK bytes pass through
    Name(119, "last", 4);
    const std::vector<std::string> t0 = DecodeNameTable(EncodeNameTable(*lib, 0), 0);
    const std::vector<std::string> t1 = DecodeNameTable(EncodeNameTable(*lib, 1), 1);
    ASSERT_EQ(t0.size(), 64u);
    ASSERT_EQ(t1.size(), 56u);
    EXPECT_EQ(t0[0], "ABCDEFGHIJKLMNO");
    EXPECT_EQ(t0[1], "");
    EXPECT_EQ(t0[63], "0123456789abcdef");
    EXPECT_EQ(t1[0], "\xba\xec");
    EXPECT_EQ(t1[55], "last");
}

TEST_F(NameTable, LongStoredNameFillsItsSlotAndNothingElse)
{
    Name(5, "0123456789abcdefgh", 16);
    Name(6, "SIXTH", 5);
    (*lib)[7].nameLength = 200;  // corrupt length byte from a foreign file
    std::memcpy((*lib)[7].name, "seventh-name-xxxxx", 18);
    const Block1K t = EncodeNameTable(*lib, 0);
    EXPECT_EQ(0, std::memcmp(t.data() + 5 * 16, "0123456789abcdef", 16));
    EXPECT_EQ(0, std::memcmp(t.data() + 6 * 16, "SIXTH\0", 6));
    EXPECT_EQ(0, std::memcmp(t.data() + 7 * 16, "seventh-name-xxx", 16));
    EXPECT_EQ(t[8 * 16], 0);
}

TEST(ProgramBlock, EntryBytesAndTail)
{
    auto prog = std::make_unique<ProgramTable>();
    std::memset(prog.get(), 0, sizeof *prog);
    (*prog)[0] = {3, 7, 31};
    (*prog)[1] = {120, 5, 10};
    (*prog)[2] = {0, 0, 0};
    (*prog)[3] = {9, 9, 99};  // beyond the count: never sent
    const Block1K b = EncodeProgramBlock(*prog, 3);
    EXPECT_EQ(b[0], 3);
    EXPECT_EQ(b[1], 0xFF);
    EXPECT_EQ(b[2], 120);
    EXPECT_EQ(b[3], 0xAA);
    EXPECT_EQ(b[4], 0);
    EXPECT_EQ(b[5], 0);
    for (int i = 6; i < 1024; ++i)
        ASSERT_EQ(b[i], 0) << i;
}

TEST(ProgramBlock, EmptyAndFullPrograms)
{
    auto prog = std::make_unique<ProgramTable>();
    for (int e = 0; e < kMaxProgram; ++e)
        (*prog)[e] = {static_cast<uint8_t>(e % 121 + 1), 1, 1};
    const Block1K none = EncodeProgramBlock(*prog, 0);
    for (uint8_t v : none)
        ASSERT_EQ(v, 0);
    const Block1K full = EncodeProgramBlock(*prog, kMaxProgram);
    for (int e = 0; e < kMaxProgram; ++e) {
        ASSERT_EQ(full[2 * e], e % 121 + 1) << e;
        ASSERT_EQ(full[2 * e + 1], 0x21) << e;
    }
    // Counts outside 0..512 never reach past the table.
    EXPECT_EQ(EncodeProgramBlock(*prog, 9999), full);
    EXPECT_EQ(EncodeProgramBlock(*prog, -5), none);
}

// Every effect and value of every entry, there and back.
TEST(ProgramBlock, DecodesEveryEntryBack)
{
    auto prog = std::make_unique<ProgramTable>();
    for (int e = 0; e < kMaxProgram; ++e)
        (*prog)[e] = {static_cast<uint8_t>(e % 121), static_cast<uint8_t>(e % 8),
                      static_cast<uint8_t>((e / 8) % 32)};
    auto back = std::make_unique<ProgramTable>();
    std::memset(back.get(), 0xEE, sizeof *back);
    DecodeProgramBlock(EncodeProgramBlock(*prog, kMaxProgram), kMaxProgram, *back);
    EXPECT_EQ(0, std::memcmp(back.get(), prog.get(), sizeof *prog));
    *back = ProgramTable{};
    DecodeProgramBlock(EncodeProgramBlock(*prog, 3), 2, *back);
    EXPECT_EQ((*back)[1].picture, 1);
    EXPECT_EQ((*back)[2].picture, 0);  // past the count: untouched
}

}  // namespace
}  // namespace korvex
