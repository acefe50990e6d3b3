// The picture and program uploads against the simulated controller: what
// lands in its memory, the commands sent, progress, and every failure rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "app/upload.h"
#include "link/korvex_api.h"
#include "model/encoders.h"
#include "model/library_file.h"
#include "model/upload_tag.h"
#include "tests/support/sim_port.h"

namespace korvex {
namespace {

std::vector<uint8_t> AsVector(const Block1K &b)
{
    return std::vector<uint8_t>(b.begin(), b.end());
}

// Name table 1 before the tag its upload leaves in bytes 896..1023.
std::vector<uint8_t> Names(const std::vector<uint8_t> &table)
{
    return std::vector<uint8_t>(table.begin(), table.begin() + kTagOffset);
}

std::optional<UploadTag> TagOf(const std::vector<uint8_t> &table)
{
    Block1K b{};
    std::copy(table.begin(), table.end(), b.begin());
    return ReadUploadTag(b);
}

// The restart is sent without awaiting a reply, so the simulator may log
// it a moment after the upload returns: wait for it, within a bound.
bool SawRestart(test::SimPort &sp)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (sp->CountOf('G') < 1) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A controller record with recognisable reserved bytes and counts.
ConfigRecord StartRecord()
{
    ConfigRecord r{};
    for (size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<uint8_t>(0xA0 ^ i);
    std::memcpy(r.data(), "Ver1.1", 6);
    r[16] = 9;     // pictures held
    r[19] = 0x01;  // 300 program entries, big-endian
    r[20] = 0x2C;
    return r;
}

class Upload : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sp.ok());
        sp->SetConfigRecord(StartRecord());
        uint32_t seed = 12345;
        for (int i = 0; i < kMaxPictures; ++i) {
            PictureRecord &rec = lib->pictures[i];
            for (int k = 0; k < kColours; ++k) {
                seed = seed * 1103515245u + 12345u;
                rec.colours[k] = (seed >> 8) & 0xF0F0F0;
            }
            StoreName(rec, "pic" + std::to_string(i));
        }
        // Known colours at known places, checked against hand-worked bytes.
        lib->pictures[0].colours[0] = 0x0000F0;     // red
        lib->pictures[0].colours[1023] = 0x305070;  // (0x70,0x50,0x30)
    }

    UploadResult Pictures(int n)
    {
        positions.clear();
        return SendPictures(lib->pictures, n, 1, [&](int p) { positions.push_back(p); });
    }

    void ExpectPortClosed()
    {
        // The upload left no port open: a new exchange can start.
        EXPECT_EQ(ComInitial(1, 38400), 1);
        ComClose();
    }

    test::SimPort sp;
    std::unique_ptr<LibraryData> lib = std::make_unique<LibraryData>();
    std::vector<int> positions;
};

TEST_F(Upload, PicturesLandAsTheMemoryMapSays)
{
    sp->SetBlock(3, 0, std::vector<uint8_t>(1024, 0x5A));  // beyond the library
    const UploadResult r = Pictures(3);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.count, 3);

    for (int i = 0; i < 3; ++i)
        for (int b = 0; b < 4; ++b)
            ASSERT_EQ(sp->Block(i, b), AsVector(EncodePictureBlock(lib->pictures[i], b)))
                << "page " << i << " block " << b;
    EXPECT_EQ(sp->Block(3, 0), std::vector<uint8_t>(1024, 0x5A));
    const auto p0b0 = sp->Block(0, 0);
    EXPECT_EQ(p0b0[0], 0x11);
    EXPECT_EQ(p0b0[1], 0x11);
    const auto p0b1 = sp->Block(0, 1);
    EXPECT_EQ(p0b1[1022], 0x03);
    EXPECT_EQ(p0b1[1023], 0x57);
    EXPECT_EQ(sp->Block(127, 0), AsVector(EncodeNameTable(lib->pictures, 0)));
    EXPECT_EQ(Names(sp->Block(127, 1)), Names(AsVector(EncodeNameTable(lib->pictures, 1))));
    EXPECT_EQ(0, std::memcmp(sp->Block(127, 1).data() + 55 * 16, "pic119\0", 7));
    const std::optional<UploadTag> tag = TagOf(sp->Block(127, 1));
    ASSERT_TRUE(tag);
    EXPECT_TRUE(tag->Tracked());

    const auto rec = sp->ConfigRecord();
    const ConfigRecord start = StartRecord();
    for (size_t i = 0; i < rec.size(); ++i) {
        if (i >= 3 && i <= 5)
            continue;
        if (i == 16)
            EXPECT_EQ(rec[i], 3);
        else
            ASSERT_EQ(rec[i], start[i]) << "byte " << i;  // program count kept
    }
    EXPECT_EQ(std::string(rec.begin() + 3, rec.begin() + 6), "1.0");

    // Read, record, 12 blocks, two name tables, restart: in this order.
    ASSERT_TRUE(SawRestart(sp));
    std::string order;
    for (const auto &e : sp->Log())
        order += e.command;
    EXPECT_EQ(order, "AD" + std::string(12, 'C') + "BBG");
    EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    ExpectPortClosed();
}

TEST_F(Upload, EmptyLibraryStillSendsNamesAndRestart)
{
    const UploadResult r = Pictures(0);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(positions.empty());
    EXPECT_EQ(sp->CountOf('C'), 0);
    EXPECT_EQ(sp->CountOf('B'), 2);
    EXPECT_TRUE(SawRestart(sp));
    EXPECT_EQ(sp->ConfigRecord()[16], 0);
    // The tables are filled from the records as they stand.
    EXPECT_EQ(sp->Block(127, 0), AsVector(EncodeNameTable(lib->pictures, 0)));
}

TEST_F(Upload, FullLibraryWrites484BlocksAndNoNameForTheLast)
{
    const UploadResult r = Pictures(121);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(sp->CountOf('C'), 484);
    EXPECT_EQ(positions.size(), 484u);
    EXPECT_EQ(positions.back(), 484);
    EXPECT_EQ(sp->Block(120, 3), AsVector(EncodePictureBlock(lib->pictures[120], 3)));
    EXPECT_EQ(sp->ConfigRecord()[16], 121);
    EXPECT_TRUE(TagOf(sp->Block(127, 1)));
    for (int page : {127})
        for (int b : {0, 1}) {
            const auto t = sp->Block(page, b);
            EXPECT_EQ(std::search(t.begin(), t.end(), "pic120", "pic120" + 6), t.end());
        }
    // More pictures than the library holds are never sent.
    sp->ClearLog();
    ASSERT_TRUE(Pictures(500).ok);
    EXPECT_EQ(sp->CountOf('C'), 484);
    EXPECT_EQ(sp->ConfigRecord()[16], 121);
}

TEST_F(Upload, FailedBlockStopsTheUploadWithoutRestart)
{
    // Picture i = 2, block b = 1: frames 1 (read) and 2 (record) come first.
    const int i = 2, b = 1;
    sp->SetFault(sim::Fault::NotOk, 3 + 4 * i + b);
    const UploadResult r = Pictures(5);
    EXPECT_FALSE(r.ok);
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.back(), 4 * i + b + 1);
    EXPECT_EQ(sp->CountOf('G'), 0);
    EXPECT_EQ(sp->CountOf('B'), 0);
    EXPECT_EQ(sp->CountOf('C'), 4 * i + b + 1);
    // The record already announced the new count; earlier blocks are in place.
    EXPECT_EQ(sp->ConfigRecord()[16], 5);
    EXPECT_EQ(sp->Block(1, 3), AsVector(EncodePictureBlock(lib->pictures[1], 3)));
    EXPECT_EQ(sp->Block(2, 0), AsVector(EncodePictureBlock(lib->pictures[2], 0)));
    // The result tells how far it got: pictures 0 and 1 whole, picture 2
    // with one block acknowledged and the failed one in flight.
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(r.step, UploadStep::PictureBlock);
    EXPECT_EQ(r.blocksWritten, 4 * i + b);
    EXPECT_EQ(r.CompletePictures(), (std::vector<int>{0, 1}));
    int acknowledged = -1;
    EXPECT_EQ(r.PartialPicture(&acknowledged), 2);
    EXPECT_EQ(acknowledged, 1);
    EXPECT_EQ(r.UnsentPictures(), (std::vector<int>{3, 4}));
    EXPECT_TRUE(r.Confirmed(UploadStep::RecordWrite));
    EXPECT_FALSE(r.Confirmed(UploadStep::NameTable1));
    sp->SetFault(sim::Fault::None);
    ExpectPortClosed();
}

// Whichever command fails, the result names it and counts the blocks the
// controller acknowledged before it.
TEST_F(Upload, TheResultNamesTheCommandThatFailed)
{
    struct Case {
        int frame;  // of 2 + 8 + 2 frames for two pictures
        UploadStep step;
        int blocksWritten;
        int partial;  // the failed block's picture may hold part of it
    };
    const Case cases[] = {
        {1, UploadStep::RecordRead, 0, -1},  {2, UploadStep::RecordWrite, 0, -1},
        {3, UploadStep::PictureBlock, 0, 0}, {10, UploadStep::PictureBlock, 7, 1},
        {11, UploadStep::NameTable1, 8, -1}, {12, UploadStep::NameTable2, 8, -1},
    };
    for (const Case &c : cases) {
        sp->ClearLog();
        // Twice: a short answer to the read earns the frame its one resend.
        sp->SetFault(sim::Fault::NotOk, c.frame, 2);
        const UploadResult r = Pictures(2);
        EXPECT_FALSE(r.ok) << c.frame;
        EXPECT_FALSE(r.stopped) << c.frame;
        EXPECT_EQ(r.step, c.step) << c.frame;
        EXPECT_EQ(r.blocksWritten, c.blocksWritten) << c.frame;
        EXPECT_EQ(r.PartialPicture(), c.partial) << c.frame;
    }
    sp->SetFault(sim::Fault::None);
    const UploadResult r = Pictures(2);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.step, UploadStep::Done);
    EXPECT_EQ(r.CompletePictures(), (std::vector<int>{0, 1}));
    EXPECT_EQ(r.PartialPicture(), -1);
}

// A stop request ends the upload before the next command: the blocks sent
// are in place, nothing after them is sent, no restart, the port closed.
TEST_F(Upload, StopRequestEndsTheUploadBeforeTheNextCommand)
{
    struct Case {
        size_t afterBlocks;  // the stop is requested once this many have gone
        UploadStep step;
        std::vector<int> complete;
        int partial;
    };
    const Case cases[] = {
        {0, UploadStep::Open, {}, -1},
        {6, UploadStep::PictureBlock, {0}, 1},
        {8, UploadStep::PictureBlock, {0, 1}, -1},
        {12, UploadStep::NameTable1, {0, 1, 2}, -1},
    };
    for (const Case &c : cases) {
        sp->ClearLog();
        positions.clear();
        const UploadResult r = SendPictures(
            lib->pictures, 3, 1, [&](int p) { positions.push_back(p); },
            [&] { return positions.size() >= c.afterBlocks; });
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.stopped);
        EXPECT_EQ(r.step, c.step) << c.afterBlocks;
        EXPECT_EQ(r.blocksWritten, static_cast<int>(c.afterBlocks));
        EXPECT_EQ(r.CompletePictures(), c.complete) << c.afterBlocks;
        EXPECT_EQ(r.PartialPicture(), c.partial) << c.afterBlocks;
        EXPECT_EQ(sp->CountOf('C'), static_cast<int>(c.afterBlocks));
        EXPECT_EQ(sp->CountOf('B'), 0);
        EXPECT_EQ(sp->CountOf('G'), 0);
        ExpectPortClosed();
    }
    EXPECT_EQ(sp->Block(1, 1), AsVector(EncodePictureBlock(lib->pictures[1], 1)));

    sp->ClearLog();
    const UploadResult program = SendProgram(lib->program, 2, 1, [&] { return sp->CountOf('D'); });
    EXPECT_TRUE(program.stopped);
    EXPECT_EQ(program.step, UploadStep::ProgramBlock);
    EXPECT_EQ(sp->CountOf('B'), 0);
    EXPECT_EQ(sp->CountOf('G'), 0);
}

// Chosen pictures go once each, in page order, those past the library left
// out; the record still gets the library's count.
TEST_F(Upload, ChosenPicturesAloneAreSentAtTheirOwnPages)
{
    const UploadResult r = SendChosenPictures(lib->pictures, 6, {4, 1, 4, 9}, 1,
                                              [&](int p) { positions.push_back(p); });
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.pages, (std::vector<int>{1, 4}));
    EXPECT_EQ(positions.size(), 8u);
    EXPECT_EQ(sp->ConfigRecord()[16], 6);
    ASSERT_TRUE(SawRestart(sp));
    std::vector<std::pair<int, int>> blocks;
    for (const auto &e : sp->Log())
        if (e.command == 'C')
            blocks.push_back({e.page, e.block});
    EXPECT_EQ(blocks, (std::vector<std::pair<int, int>>{
                          {1, 0}, {1, 1}, {1, 2}, {1, 3}, {4, 0}, {4, 1}, {4, 2}, {4, 3}}));
    EXPECT_EQ(sp->Block(4, 3), AsVector(EncodePictureBlock(lib->pictures[4], 3)));
    EXPECT_EQ(Names(sp->Block(127, 1)), Names(AsVector(EncodeNameTable(lib->pictures, 1))));
    // Ours, but naming no record: the rest of the controller is unknown.
    const std::optional<UploadTag> tag = TagOf(sp->Block(127, 1));
    ASSERT_TRUE(tag);
    EXPECT_FALSE(tag->Tracked());
}

TEST_F(Upload, UnreadRecordMeansNothingIsWritten)
{
    sp->SetFault(sim::Fault::NoReply);
    const UploadResult r = Pictures(2);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(positions.empty());
    EXPECT_EQ(sp->CountOf('D'), 0);
    EXPECT_EQ(sp->CountOf('C'), 0);
    EXPECT_EQ(sp->CountOf('G'), 0);
    EXPECT_EQ(sp->ConfigRecord(), StartRecord());
    sp->SetFault(sim::Fault::None);
    ExpectPortClosed();
}

TEST_F(Upload, PortThatCannotBeOpenedSendsNothing)
{
    test::SimPort other(sim::Options{}, 2);
    ASSERT_TRUE(other.ok());
    positions.clear();
    // Port 3 is aimed at a path that does not exist.
    const UploadResult pics =
        SendPictures(lib->pictures, 4, 3, [&](int p) { positions.push_back(p); });
    EXPECT_FALSE(pics.ok);
    EXPECT_EQ(pics.step, UploadStep::Open);
    EXPECT_TRUE(positions.empty());
    EXPECT_FALSE(SendProgram(lib->program, 4, 3).ok);
    EXPECT_EQ(other->FrameCount(), 0);
    EXPECT_EQ(sp->FrameCount(), 0);
    ExpectPortClosed();
}

TEST_F(Upload, ProgramBlockAndLength)
{
    sp->SetBlock(127, 2, std::vector<uint8_t>(1024, 0xEE));
    lib->program[0] = {0, 7, 31};
    lib->program[1] = {120, 5, 10};
    lib->program[2] = {4, 0, 0};
    lib->program[3] = {9, 9, 9};  // beyond the length
    UploadResult r = SendProgram(lib->program, 3, 1);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.count, 3);
    std::vector<uint8_t> want(1024, 0);
    const uint8_t head[] = {0, 0xFF, 120, 0xAA, 4, 0};
    std::memcpy(want.data(), head, sizeof head);
    EXPECT_EQ(sp->Block(127, 2), want);
    auto rec = sp->ConfigRecord();
    EXPECT_EQ(rec[19], 0x00);
    EXPECT_EQ(rec[20], 0x03);
    EXPECT_EQ(rec[16], 9);  // picture count untouched
    EXPECT_EQ(std::string(rec.begin() + 3, rec.begin() + 6), "1.0");
    ASSERT_TRUE(SawRestart(sp));
    std::string order;
    for (const auto &e : sp->Log())
        order += e.command;
    EXPECT_EQ(order, "ADBG");

    ConfigRecord host = StartRecord();
    RecordProgramLength(host, r.count);
    EXPECT_EQ(GetWord(host, cfg::kProgramCount), 3);

    r = SendProgram(lib->program, 0, 1);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(sp->Block(127, 2), std::vector<uint8_t>(1024, 0));
    rec = sp->ConfigRecord();
    EXPECT_EQ(rec[19], 0);
    EXPECT_EQ(rec[20], 0);

    for (int e = 0; e < kMaxProgram; ++e)
        lib->program[e] = {static_cast<uint8_t>(e % 121), 1, 2};
    r = SendProgram(lib->program, 512, 1);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(sp->Block(127, 2), AsVector(EncodeProgramBlock(lib->program, 512)));
    EXPECT_EQ(sp->Block(127, 2)[1023], 0x22);
    rec = sp->ConfigRecord();
    EXPECT_EQ(rec[19], 0x02);
    EXPECT_EQ(rec[20], 0x00);
}

TEST_F(Upload, ProgramFailureSkipsTheRestart)
{
    sp->SetFault(sim::Fault::NotOk, 3);  // the program block
    UploadResult r = SendProgram(lib->program, 2, 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.step, UploadStep::ProgramBlock);
    EXPECT_EQ(sp->CountOf('G'), 0);
    sp->SetFault(sim::Fault::None);
    sp->ClearLog();
    sp->SetFault(sim::Fault::NotOk, 2);  // the record write
    r = SendProgram(lib->program, 2, 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.step, UploadStep::RecordWrite);
    EXPECT_EQ(sp->CountOf('B'), 0);
    EXPECT_EQ(sp->CountOf('G'), 0);
    sp->SetFault(sim::Fault::None);
    ExpectPortClosed();
}

}  // namespace
}  // namespace korvex
