// Reading a controller back through the real library and the simulator:
// backups of random libraries, the agreement rule against a noisy line,
// verify against planted differences, and uploads that check what landed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <thread>

#include "app/controller_read.h"
#include "app/gbk_text.h"
#include "app/upload.h"
#include "model/library_document.h"
#include "tests/support/sim_port.h"

namespace korvex {
namespace {

// Chinese and Latin name pieces; each name stays within 15 GBK bytes.
const char *const kPieces[] = {"红", "蓝", "渐变", "流星", "a", "Z9", "彩虹", "-"};

class ReadBack : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sp.ok()); }

    // A random library of n pictures and m steps (steps name pictures 0..n-1).
    void MakeLibrary(int n, int m, uint32_t seed)
    {
        std::mt19937 rng(seed);
        lib = std::make_unique<LibraryData>();
        for (int i = 0; i < n; ++i) {
            for (uint32_t &c : lib->pictures[i].colours)
                c = rng() & 0xF0F0F0;
            std::string name;
            while (Utf8ToGbk(name).size() < 10)
                name += kPieces[rng() % 8];
            StoreName(lib->pictures[i], Utf8ToGbk(name));
        }
        for (int j = 0; j < m; ++j)
            lib->program[j] = {static_cast<uint8_t>(rng() % n), static_cast<uint8_t>(rng() % 8),
                               static_cast<uint8_t>(rng() % 32)};
        lib->pictureCount = n;
        lib->programLength = m;
    }

    void Send(int n, int m)
    {
        sp->ClearLog();
        ASSERT_TRUE(SendPictures(lib->pictures, n, 1, nullptr).ok);
        ASSERT_TRUE(SendProgram(lib->program, m, 1).ok);
        ASSERT_TRUE(SawRestarts(2));
        sp->ClearLog();
    }

    // A restart gets no reply, so the simulator may log it a moment after
    // the upload returns: wait for it, within a bound, before the frames
    // of the next exchange are counted.
    bool SawRestarts(int count)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (sp->CountOf('G') < count) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    VerifyResult Verify()
    {
        return VerifyController(lib->pictures, lib->pictureCount, lib->program, lib->programLength,
                                1, nullptr);
    }

    // Picture and program blocks as the backup got them match the library.
    void ExpectBackupHolds(const ReadResult &r)
    {
        ASSERT_TRUE(r.ok) << static_cast<int>(r.end);
        auto back = std::make_unique<LibraryData>();
        ContentToLibrary(r.content, *back);
        ASSERT_EQ(back->pictureCount, lib->pictureCount);
        ASSERT_EQ(back->programLength, lib->programLength);
        for (int i = 0; i < lib->pictureCount; ++i) {
            ASSERT_EQ(0, std::memcmp(back->pictures[i].colours, lib->pictures[i].colours,
                                     sizeof lib->pictures[i].colours))
                << "picture " << i + 1;
            ASSERT_EQ(NameOf(back->pictures[i]), i < 120 ? NameOf(lib->pictures[i]) : "")
                << "picture " << i + 1;
        }
        for (int j = 0; j < lib->programLength; ++j) {
            const ProgramEntry &a = back->program[j], &b = lib->program[j];
            ASSERT_TRUE(a.picture == b.picture && a.effect == b.effect && a.value == b.value)
                << "step " << j + 1;
        }
        // The file it makes loads back to the same listing.
        std::string error;
        auto again = std::make_unique<LibraryData>();
        const std::string image = SerialiseLibrary(*back);
        ASSERT_TRUE(ParseLibraryImage(reinterpret_cast<const uint8_t *>(image.data()), image.size(),
                                      *again));
        EXPECT_FALSE(FindDamagedCount(*again));
    }

    test::SimPort sp;
    std::unique_ptr<LibraryData> lib = std::make_unique<LibraryData>();
};

TEST_F(ReadBack, BackupOfRandomLibrariesGivesThemBack)
{
    const struct {
        int n, m;
        ReadMode mode;
        int readsPerBlock;
    } cases[] = {{121, 512, ReadMode::Careful, 2},
                 {3, 5, ReadMode::Careful, 2},
                 {0, 0, ReadMode::Careful, 2},
                 {121, 512, ReadMode::Quick, 1},
                 {1, 1, ReadMode::Quick, 1}};
    uint32_t seed = 7;
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.n << " pictures, " << c.m << " steps, mode " << static_cast<int>(c.mode));
        MakeLibrary(c.n, c.m, seed++);
        Send(c.n, c.m);
        std::vector<std::pair<int, int>> progress;
        const ReadResult r = ReadController(1, c.mode, [&](int position, int total) {
            progress.push_back({position, total});
        });
        ExpectBackupHolds(r);
        const int blocks = 1 + 4 * c.n + 3;
        EXPECT_EQ(r.blocks, blocks);
        EXPECT_EQ(r.reads, c.readsPerBlock * blocks);
        ASSERT_EQ(progress.size(), static_cast<size_t>(blocks));
        EXPECT_EQ(progress.back(), std::make_pair(blocks, blocks));
        // Reads only.
        EXPECT_EQ(sp->CountOf('A'), r.reads);
        EXPECT_EQ(sp->FrameCount(), r.reads);
        EXPECT_TRUE(r.spare.empty());
    }
}

// One garbled reply anywhere changes nothing: the block is read again.
TEST_F(ReadBack, NoisyReadChangesNoResult)
{
    MakeLibrary(4, 6, 99);
    Send(4, 6);
    for (const int frame : {1, 2, 5, 18, 19, 20}) {
        SCOPED_TRACE(testing::Message() << "noisy read at frame " << frame);
        sp->ClearLog();
        sp->SetFault(sim::Fault::NoisyRead, frame, 1);
        const ReadResult r = ReadController(1, ReadMode::Careful, nullptr);
        ExpectBackupHolds(r);
        EXPECT_EQ(r.reads, 2 * r.blocks + 1);
        sp->ClearLog();
        sp->SetFault(sim::Fault::NoisyRead, frame, 1);
        const VerifyResult v = Verify();
        ASSERT_TRUE(v.read.ok);
        EXPECT_TRUE(v.differences.empty());
    }
    // Checked uploads: the noise falls on the read-back (the record's second
    // read in the program upload, picture 1's first block in the picture
    // upload, after 2 + 16 + 2 writes and the record's two reads).
    sp->ClearLog();
    sp->SetFault(sim::Fault::NoisyRead, 5, 1);
    EXPECT_TRUE(SendProgram(lib->program, 6, 1, nullptr, true).ok);
    sp->ClearLog();
    sp->SetFault(sim::Fault::NoisyRead, 23, 1);
    EXPECT_TRUE(SendPictures(lib->pictures, 4, 1, nullptr, nullptr, true).ok);
}

TEST_F(ReadBack, ReadingEndsWhereItCannotGoOn)
{
    MakeLibrary(2, 1, 5);
    Send(2, 1);
    // Three garbled reads in a row of picture 1's block 1 (frames 3..5).
    sp->SetFault(sim::Fault::NoisyRead, 3, 3);
    ReadResult r = ReadController(1, ReadMode::Careful, nullptr);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.end, ReadEnd::Disagreed);
    EXPECT_EQ(r.where.page, 0);
    EXPECT_EQ(r.where.block, 0);

    // A count no library holds: only the record is read.
    auto record = sp->ConfigRecord();
    record[16] = 200;
    sp->SetConfigRecord(record);
    sp->ClearLog();
    r = ReadController(1, ReadMode::Careful, nullptr);
    EXPECT_EQ(r.end, ReadEnd::CountsRefused);
    ASSERT_TRUE(r.refusal);
    EXPECT_EQ(r.refusal->field, CountField::PictureCount);
    EXPECT_EQ(r.refusal->value, 200);
    EXPECT_EQ(sp->FrameCount(), 2);
    record[16] = 2;
    record[19] = 0x02;  // 513 steps, big-endian
    record[20] = 0x01;
    sp->SetConfigRecord(record);
    r = ReadController(1, ReadMode::Quick, nullptr);
    ASSERT_TRUE(r.refusal);
    EXPECT_EQ(r.refusal->value, 513);

    // A stop request comes between blocks; no reply at all ends it too.
    record[19] = 0;
    sp->SetConfigRecord(record);
    int asked = 0;
    r = ReadController(1, ReadMode::Quick, nullptr, [&] { return ++asked > 3; });
    EXPECT_EQ(r.end, ReadEnd::Stopped);
    EXPECT_EQ(r.blocks, 3);
    sp->SetFault(sim::Fault::NoReply);
    r = ReadController(1, ReadMode::Quick, nullptr);
    EXPECT_EQ(r.end, ReadEnd::NoReply);
    sp->SetFault(sim::Fault::None);
    // The port was closed each time.
    EXPECT_TRUE(ReadController(1, ReadMode::Quick, nullptr).ok);
}

// Bits the host never writes are read again in the quick mode, and reported.
TEST_F(ReadBack, SpareBitsAreReadTwiceAndReported)
{
    MakeLibrary(2, 0, 3);
    Send(2, 0);
    std::vector<uint8_t> block = sp->Block(1, 2);
    block[11] |= 0x80;
    sp->SetBlock(1, 2, block);
    const ReadResult r = ReadController(1, ReadMode::Quick, nullptr);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.reads, r.blocks + 1);
    ASSERT_EQ(r.spare.size(), 1u);
    EXPECT_EQ(r.spare[0].picture, 1);
    EXPECT_EQ(r.spare[0].quarter, 2);
    EXPECT_EQ(r.spare[0].words, 1);
}

TEST_F(ReadBack, VerifyReportsExactlyThePlantedDifferences)
{
    MakeLibrary(70, 9, 11);
    Send(70, 9);
    auto before = Verify();
    ASSERT_TRUE(before.read.ok);
    ASSERT_TRUE(before.differences.empty());

    // Picture 6: three pixels in two quarters; the name of picture 66; step 4.
    std::vector<uint8_t> b = sp->Block(5, 2);
    b[2 * 6] ^= 0x10;
    b[2 * 100 + 1] ^= 0x04;
    sp->SetBlock(5, 2, b);
    b = sp->Block(5, 3);
    b[2 * 511] ^= 0x01;
    sp->SetBlock(5, 3, b);
    b = sp->Block(127, 1);
    b[16 * 1] ^= 0x01;
    sp->SetBlock(127, 1, b);
    b = sp->Block(127, 2);
    b[2 * 3 + 1] ^= 0x20;
    sp->SetBlock(127, 2, b);
    // ... and a garbled reply on the way, which must not show.
    sp->ClearLog();
    sp->SetFault(sim::Fault::NoisyRead, 30, 1);

    const VerifyResult v = Verify();
    ASSERT_TRUE(v.read.ok);
    ASSERT_EQ(v.differences.size(), 3u);
    EXPECT_EQ(v.differences[0].kind, Difference::Kind::Pixels);
    EXPECT_EQ(v.differences[0].index, 5);
    EXPECT_EQ(v.differences[0].pixels, 3);
    EXPECT_EQ(v.differences[0].firstPixel, 1024 + 6);
    EXPECT_EQ(v.differences[1].kind, Difference::Kind::Name);
    EXPECT_EQ(v.differences[1].index, 65);
    EXPECT_EQ(v.differences[1].expectedName, NameOf(lib->pictures[65]));
    EXPECT_EQ(v.differences[2].kind, Difference::Kind::Step);
    EXPECT_EQ(v.differences[2].index, 3);
    EXPECT_EQ(v.differences[2].actualStep.effect, lib->program[3].effect ^ 1);
    // Each differing block was read twice, every other block once.
    EXPECT_EQ(v.read.reads, v.read.blocks + 1 /*record*/ + 4 + 1 /*noise*/);

    // Counts: the library has one picture and two steps more.
    lib->pictureCount = 71;
    lib->programLength = 11;
    const VerifyResult counts = Verify();
    ASSERT_GE(counts.differences.size(), 2u);
    EXPECT_EQ(counts.differences[0].kind, Difference::Kind::PictureCount);
    EXPECT_EQ(counts.differences[0].actual, 70);
    EXPECT_EQ(counts.differences[0].expected, 71);
    EXPECT_EQ(counts.differences[1].kind, Difference::Kind::ProgramLength);
}

// A write the controller acknowledged but stored wrong stops a checked
// upload before the restart, naming what differs.
TEST_F(ReadBack, CheckedUploadsCatchACorruptWrite)
{
    MakeLibrary(3, 4, 21);
    Send(3, 4);
    const struct {
        const char *what;
        bool program;  // the program upload, else the picture upload
        int frame;     // the corrupted write
        int byte;      // the byte it spoils, -1 its usual one
        Difference::Kind kind;
        int index;
        int written, read;  // RecordByte: the byte's values
    } cases[] = {
        {"picture 2 block 1", false, 3 + 4, -1, Difference::Kind::Pixels, 1, 0, 0},
        {"name table 1", false, 3 + 12, -1, Difference::Kind::Name, 0, 0, 0},
        {"record's picture count", false, 2, -1, Difference::Kind::RecordByte, 16, 3, 2},
        {"record's pixel count", false, 2, 8, Difference::Kind::RecordByte, 8, 0x08, 0x09},
        {"record's colour order", true, 2, 18, Difference::Kind::RecordByte, 18, 0, 1},
        {"program", true, 3, -1, Difference::Kind::Step, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        sp->ClearLog();
        sp->SetFault(sim::Fault::Corrupt, c.frame, 1, c.byte);
        const UploadResult r = c.program
                                   ? SendProgram(lib->program, 4, 1, nullptr, true)
                                   : SendPictures(lib->pictures, 3, 1, nullptr, nullptr, true);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.step, UploadStep::ReadBack);
        EXPECT_EQ(r.check.end, ReadEnd::Done);
        ASSERT_EQ(r.check.differences.size(), 1u);
        const Difference &d = r.check.differences[0];
        EXPECT_EQ(d.kind, c.kind);
        EXPECT_EQ(d.index, c.index);
        if (c.kind == Difference::Kind::RecordByte) {
            EXPECT_EQ(d.expected, c.written);
            EXPECT_EQ(d.actual, c.read);
        }
        EXPECT_EQ(sp->CountOf('G'), 0);  // no restart
    }
    // The chosen-picture upload checks its own pages, with progress past
    // the blocks written.
    sp->ClearLog();
    sp->SetFault(sim::Fault::None);
    std::vector<int> positions;
    const UploadResult ok = SendChosenPictures(
        lib->pictures, 3, {2}, 1, [&](int p) { positions.push_back(p); }, nullptr, true);
    EXPECT_TRUE(ok.ok);
    EXPECT_EQ(positions.back(), 4 + CheckedBlocks(1, true, false));
    EXPECT_EQ(sp->CountOf('A'), 1 + 2 + 4 + 2);  // the record is read back twice
    EXPECT_TRUE(SawRestarts(1));
}

}  // namespace
}  // namespace korvex
