// The changed upload against the simulated controller: after any edits,
// interruptions or foreign writers, the controller ends up holding what a
// full upload of the same library leaves, and it trusts the controller
// only when it may.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <thread>

#include "app/changed_upload.h"
#include "app/controller_read.h"
#include "app/upload_ledger.h"
#include "model/library_document.h"
#include "tests/support/sim_port.h"

namespace korvex {
namespace {

std::string Same(const std::string &gbk)
{
    return gbk;
}

PictureColours Colours(std::mt19937 &rng)
{
    PictureColours c{};
    const uint32_t base = rng() & 0xF0F0F0;
    for (uint32_t &colour : c)
        colour = rng() % 4 == 0 ? rng() & 0xF0F0F0 : base;
    return c;
}

// Every byte an upload of n pictures writes: the picture pages, name table
// 0, name table 1 before its tag and the record's picture count.
std::vector<uint8_t> Written(test::SimPort &sp, int n)
{
    std::vector<uint8_t> out;
    for (int i = 0; i < n; ++i)
        for (int b = 0; b < kBlocksPerPicture; ++b) {
            const auto block = sp->Block(i, b);
            out.insert(out.end(), block.begin(), block.end());
        }
    const auto t0 = sp->Block(127, 0), t1 = sp->Block(127, 1);
    out.insert(out.end(), t0.begin(), t0.end());
    out.insert(out.end(), t1.begin(), t1.begin() + kTagOffset);
    out.push_back(sp->ConfigRecord()[16]);
    return out;
}

// What a full upload of `doc` leaves in a fresh controller, with its own
// record of uploads so that the one under test is left alone.
std::vector<uint8_t> FullUploadOf(const LibraryDocument &doc)
{
    QTemporaryDir data;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    test::SimPort fresh(sim::Options{}, 2);
    EXPECT_TRUE(SendPictures(doc.Pictures(), doc.PictureCount(), 2, nullptr).ok);
    qputenv("XDG_DATA_HOME", saved);
    return Written(fresh, doc.PictureCount());
}

class Changed : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sp.ok());
        QDir(UploadLedgerFolder()).removeRecursively();
        for (int i = 0; i < 3; ++i)
            doc.NewPicture(Colours(rng), "p" + std::to_string(i));
    }

    ChangedResult Send(ChangedOptions options = {})
    {
        options.onPlan = [&](const ChangedPlan &p) { plan = p; };
        plan = ChangedPlan{};
        return SendChangedPictures(doc.Pictures(), doc.PictureCount(), 1, nullptr, nullptr,
                                   options);
    }

    // The restart awaits no reply: the log may take it a moment after the
    // upload has returned. Then the log starts again.
    void AwaitRestart()
    {
        for (int wait = 0; wait < 300 && sp->CountOf('G') == 0; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        sp->ClearLog();
    }

    // A simulator gone after a hang-up serves again at a new pty.
    void Replug()
    {
        sp->Stop();
        sp->SetFault(sim::Fault::None);
        ASSERT_TRUE(sp->Start());
        setenv("KORVEX_COM1", sp->SlavePath().c_str(), 1);
        sp->ClearLog();
    }

    void ExpectAsAFullUploadLeaves()
    {
        EXPECT_EQ(Written(sp, doc.PictureCount()), FullUploadOf(doc));
    }

    test::SimPort sp;
    std::mt19937 rng{24};
    LibraryDocument doc{Same};
    ChangedPlan plan;
};

TEST_F(Changed, RandomEditsLeaveWhatAFullUploadLeaves)
{
    auto before = std::make_unique<PictureTable>();
    for (int round = 0; round < 30; ++round) {
        *before = doc.Pictures();
        const int n = doc.PictureCount();
        const std::string name = "r" + std::to_string(round);
        if (round == 10)
            while (!doc.PicturesFull())
                doc.NewPicture(Colours(rng), name);
        else if (round == 20)
            while (doc.PictureCount() > 0)
                doc.DeletePicture(0);
        else
            for (int edits = 1 + static_cast<int>(rng() % 3); edits > 0; --edits) {
                const int at =
                    doc.PictureCount() ? static_cast<int>(rng() % doc.PictureCount()) : 0;
                switch (doc.PictureCount() ? rng() % 5 : 0) {
                case 0: doc.NewPicture(Colours(rng), name); break;
                case 1: doc.ReplacePicture(at, Colours(rng), name); break;
                case 2: doc.DeletePicture(at); break;
                case 3: doc.RenamePicture(at, name); break;
                case 4: {  // moved to the end
                    const PictureRecord moved = doc.Picture(at);
                    PictureColours colours;
                    std::copy(std::begin(moved.colours), std::end(moved.colours), colours.begin());
                    doc.DeletePicture(at);
                    doc.NewPicture(colours, std::string(moved.name, moved.nameLength));
                }
                }
            }
        const ChangedResult r = Send();
        ASSERT_TRUE(r.upload.ok) << round;
        EXPECT_EQ(plan.full, round == 0) << round << ": " << FullReasonText(plan.reason);
        // Exactly the pictures whose colours changed or that are new.
        std::vector<int> changed;
        for (int i = 0; i < doc.PictureCount() && round > 0; ++i)
            if (i >= n || !std::equal(std::begin(doc.Picture(i).colours),
                                      std::end(doc.Picture(i).colours), (*before)[i].colours))
                changed.push_back(i);
        if (round > 0) {
            EXPECT_EQ(plan.pages, changed) << round;
        }
        ExpectAsAFullUploadLeaves();
    }
}

// The controller hangs up at frame k of an upload of a library with one
// picture replaced, or stores that frame's block spoiled where a checked
// upload finds it; the changed upload that follows leaves the controller
// holding the library, whichever library it sends.
TEST_F(Changed, AnUploadCutAtAnyFrameIsRepairedByTheNext)
{
    struct Case {
        bool changed;            // the upload cut is a changed one (else a plain full one)
        int frame;               // 1-based, counting from its first frame
        bool sendFirst;          // the repair sends the library as it was before the edit
        bool elsewhere = false;  // by a computer that holds the record but not the mark
        bool spoilt = false;     // a checked upload, the write of frame k spoilt
    };
    std::vector<Case> cases;
    // Read, read, record, clear, 4 blocks, name table 2, restart.
    for (int k = 1; k <= 10; ++k)
        cases.push_back({true, k, false});
    for (int k : {3, 5, 7, 9})
        cases.push_back({true, k, true});
    for (int k : {5, 8})
        cases.push_back({true, k, true, true});
    // Read, record, 12 blocks, both name tables: picture 2's blocks first.
    for (int k : {7, 11, 15})
        cases.push_back({false, k, true});
    cases.push_back({true, 5, false, false, true});
    cases.push_back({false, 7, false, false, true});
    const PictureColours first = Colours(rng), edited = Colours(rng);
    for (const Case &c : cases) {
        const std::string row = (c.changed ? "changed@" : "full@") + std::to_string(c.frame);
        doc.ReplacePicture(1, first, "p1");
        sp->ClearLog();
        ASSERT_TRUE(SendPictures(doc.Pictures(), 3, 1, nullptr).ok) << row;
        AwaitRestart();
        doc.ReplacePicture(1, edited, "x");
        sp->SetFault(c.spoilt ? sim::Fault::Corrupt : sim::Fault::Unplug, c.frame);
        ChangedOptions checked;
        checked.check = c.spoilt;
        const UploadResult cut =
            c.changed ? Send(checked).upload
                      : SendPictures(doc.Pictures(), 3, 1, nullptr, nullptr, c.spoilt);
        if (c.spoilt)
            EXPECT_FALSE(cut.check.differences.empty()) << row;
        else
            EXPECT_EQ(sp->FrameCount(), c.frame) << row;  // the last frame it took
        Replug();
        if (c.elsewhere)
            QFile::remove(UploadLedgerFolder() + "/pending");
        if (c.sendFirst)
            doc.ReplacePicture(1, first, "p1");
        ASSERT_TRUE(Send().upload.ok) << row;
        ExpectAsAFullUploadLeaves();
        const VerifyResult v = VerifyController(doc.Pictures(), 3, doc.Program(), 0, 1, nullptr);
        EXPECT_TRUE(v.read.ok && v.differences.empty()) << row;
    }
}

// Whoever else wrote the controller since korvex's last upload, the
// changed upload sends everything when, and only when, it must.
TEST_F(Changed, ForeignWritersAndLostRecordsMeanAFullUpload)
{
    // Byte `at` of a block (the record: page 127 block 3 at 512) xor `bits`.
    const auto poke = [&](int page, int block, int at, uint8_t bits) {
        auto data = sp->Block(page, block);
        data[static_cast<size_t>(at)] ^= bits;
        sp->SetBlock(page, block, data);
    };
    const auto eachRecord = [](const std::function<void(QFile &)> &spoil) {
        for (const QFileInfo &f : QDir(UploadLedgerFolder()).entryInfoList({"*.upload"})) {
            QFile file(f.filePath());
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            spoil(file);
        }
    };
    struct Case {
        const char *what;
        std::function<void()> write;
        FullReason reason;
    };
    const Case cases[] = {
        {"pictures and table 2 as specified, its tail from table 1",
         [&] {
             for (int at = kTagOffset; at < 1024; ++at)
                 poke(127, 1, at, sp->Block(127, 1)[at] ^ sp->Block(127, 0)[at]);
             poke(0, 0, 0, 0x11);
         },
         FullReason::NoTag},
        {"a program upload", [&] { poke(127, 3, 512 + 20, 7), poke(127, 2, 0, 0x22); },
         FullReason::None},
        {"the picture count", [&] { poke(127, 3, 512 + 16, 1); }, FullReason::CountMismatch},
        {"the tag's digest", [&] { poke(127, 1, kTagOffset + 40, 1); }, FullReason::DigestMismatch},
        {"the tag's magic", [&] { poke(127, 1, kTagOffset + 3, 1); }, FullReason::NoTag},
        {"record deleted", [&] { QDir(UploadLedgerFolder()).removeRecursively(); },
         FullReason::NoRecord},
        {"record truncated", [&] { eachRecord([](QFile &f) { f.resize(f.size() - 1); }); },
         FullReason::DamagedRecord},
        {"record garbled", [&] { eachRecord([](QFile &f) { f.seek(100), f.write("x"); }); },
         FullReason::DamagedRecord},
        {"32 later uploads elsewhere",
         [&] {
             test::SimPort other(sim::Options{}, 2);
             for (int k = 0; k < 32; ++k)
                 ASSERT_TRUE(SendPictures(doc.Pictures(), 1, 2, nullptr).ok);
         },
         FullReason::NoRecord},
        {"chosen pictures sent",
         [&] { ASSERT_TRUE(SendChosenPictures(doc.Pictures(), 3, {2}, 1, nullptr).ok); },
         FullReason::Untracked},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(SendPictures(doc.Pictures(), 3, 1, nullptr).ok) << c.what;
        c.write();
        ASSERT_TRUE(Send().upload.ok) << c.what;
        EXPECT_EQ(plan.full, c.reason != FullReason::None) << c.what;
        EXPECT_EQ(plan.reason, c.reason) << c.what;
        EXPECT_EQ(plan.Nothing(), c.reason == FullReason::None) << c.what;
        ExpectAsAFullUploadLeaves();
    }
}

}  // namespace
}  // namespace korvex
