// Reading a controller back: the agreement rule for each block, the
// backup's walk over the memory map, and the comparison shared by verify
// and the checked uploads.
#include "app/controller_read.h"

#include <algorithm>

#include "link/korvex_api.h"
#include "model/line.h"
#include "model/upload_tag.h"

namespace korvex {

namespace {

constexpr int kMostReads = 3;

// Whether a single read of a block may be taken without a second one.
using SingleReadRule = std::function<bool(const Block1K &)>;

// Takes blocks one by one with the agreement rule and notes where and why
// the reading ended.
class BlockTaker {
public:
    explicit BlockTaker(const StopFn &stop) : stop_(stop) {}

    // Reads `at` until a read passes `single` or two reads agree, at most
    // three times. False once the reading has ended.
    bool Take(BlockAddress at, const SingleReadRule &single, Block1K &out)
    {
        if (end_ != ReadEnd::Done)
            return false;
        if (stop_ && stop_())
            return End(ReadEnd::Stopped, at);
        Block1K reads[kMostReads];
        for (int k = 0; k < kMostReads; ++k) {
            ++reads_;
            if (Read1KData(at.page, at.block, reads[k].data()) == 0)
                return End(ReadEnd::NoReply, at);
            const bool agreed = std::any_of(
                reads, reads + k, [&](const Block1K &earlier) { return earlier == reads[k]; });
            if (agreed || (single && single(reads[k]))) {
                out = reads[k];
                ++blocks_;
                return true;
            }
        }
        return End(ReadEnd::Disagreed, at);
    }

    bool End(ReadEnd end, BlockAddress at)
    {
        end_ = end;
        where_ = at;
        return false;
    }
    ReadEnd Ended() const { return end_; }
    BlockAddress Where() const { return where_; }
    int Reads() const { return reads_; }
    int Blocks() const { return blocks_; }

private:
    const StopFn &stop_;
    ReadEnd end_ = ReadEnd::Done;
    BlockAddress where_{};
    int reads_ = 0;
    int blocks_ = 0;
};

SingleReadRule Equals(const Block1K &expected)
{
    return [&expected](const Block1K &read) { return read == expected; };
}

// Name table 1 before its tail (bytes 896..1023, which hold no names and
// may carry an upload's tag).
SingleReadRule NamesEqual(const Block1K &expected)
{
    return [&expected](const Block1K &read) {
        return std::equal(read.begin(), read.begin() + kTagOffset, expected.begin());
    };
}

// What to compare once the record has been read.
struct Expectation {
    WrittenBlocks written;
    int namedPictures = 0;  // names of pictures 0..namedPictures-1
    int steps = 0;          // program entries 0..steps-1
    // Verify: the controller's record, whose program is compared as listed.
    const ConfigRecord *held = nullptr;
};

// Reads each block of `e` (the record already taken) and compares it with
// what the host would write there.
void CompareBlocks(const Expectation &e, BlockTaker &taker, Comparison &comparison,
                   const std::function<void()> &onBlock)
{
    const WrittenBlocks &w = e.written;
    Block1K read{};
    if (w.pictures) {
        for (const int page : w.pages) {
            const PictureRecord &picture = (*w.pictures)[static_cast<size_t>(page)];
            for (int b = 0; b < kBlocksPerPicture; ++b) {
                const Block1K expected = EncodePictureBlock(picture, b);
                if (!taker.Take(PictureBlockAddress(page, b), Equals(expected), read))
                    return;
                comparison.PictureBlock(page, b, expected, read);
                onBlock();
            }
        }
        for (int t = 0; t < 2; ++t) {
            const bool asWritten = t == 1 && w.nameTable1;
            const Block1K expected = asWritten ? *w.nameTable1 : EncodeNameTable(*w.pictures, t);
            const SingleReadRule rule =
                asWritten || t == 0 ? Equals(expected) : NamesEqual(expected);
            if (!taker.Take(NameTableAddress(t), rule, read))
                return;
            comparison.NameTable(t, expected, read, e.namedPictures);
            onBlock();
        }
    }
    if (w.program) {
        const Block1K expected = EncodeProgramBlock(*w.program, w.programLength);
        if (!taker.Take(kProgramAddress, Equals(expected), read))
            return;
        if (e.held)
            comparison.ListedProgram(expected, w.programLength, read,
                                     GetWord(*e.held, cfg::kProgramCount),
                                     (*e.held)[cfg::kPictureCount]);
        else
            comparison.ProgramBlock(expected, read, e.steps);
        onBlock();
    }
}

int BlocksOf(const WrittenBlocks &w)
{
    return CheckedBlocks(static_cast<int>(w.pages.size()), w.pictures != nullptr,
                         w.program != nullptr) -
           1;
}

// Opens the port and takes the record; false once the taker has ended.
bool OpenAndTakeRecord(int port, BlockTaker &taker, const SingleReadRule &rule,
                       ConfigRecord &record)
{
    if (ComInitial(port, kBaud) == 0)
        return taker.End(ReadEnd::OpenFailed, kRecordAddress);
    Block1K block{};
    if (!taker.Take(kRecordAddress, rule, block))
        return false;
    record = RecordFromBlock(block.data());
    return true;
}

// Closes the port (always) and notes in `r` where the reading ended.
void Close(const BlockTaker &taker, ReadResult &r)
{
    ComClose();
    r.end = taker.Ended();
    r.where = taker.Where();
    r.ok = r.end == ReadEnd::Done;
    r.blocks = taker.Blocks();
    r.reads = taker.Reads();
}

std::vector<int> FirstPages(int n)
{
    std::vector<int> pages(static_cast<size_t>(std::max(n, 0)));
    for (int i = 0; i < n; ++i)
        pages[static_cast<size_t>(i)] = i;
    return pages;
}

}  // namespace

ReadResult ReadController(int port, ReadMode mode, const ReadProgressFn &progress,
                          const StopFn &stop)
{
    ReadResult r;
    BlockTaker taker(stop);
    int total = 1;
    auto taken = [&] {
        if (progress)
            progress(taker.Blocks(), total);
    };
    const SingleReadRule anyRead = [](const Block1K &) { return true; };
    const SingleReadRule noSpareBits = [](const Block1K &b) { return SpareWordCount(b) == 0; };
    const SingleReadRule once = mode == ReadMode::Quick ? anyRead : nullptr;
    const SingleReadRule oncePicture = mode == ReadMode::Quick ? noSpareBits : nullptr;

    if (OpenAndTakeRecord(port, taker, once, r.content.record)) {
        r.refusal = RefuseCounts(r.content.record);
        if (r.refusal)
            taker.End(ReadEnd::CountsRefused, kRecordAddress);
        const int n = r.refusal ? 0 : r.content.PictureCount();
        total = 1 + kBlocksPerPicture * n + 3;
        if (taker.Ended() == ReadEnd::Done)
            taken();
        Block1K block{};
        for (int i = 0; i < n; ++i) {
            for (int b = 0; b < kBlocksPerPicture; ++b) {
                if (!taker.Take(PictureBlockAddress(i, b), oncePicture, block))
                    break;
                if (const int words = SpareWordCount(block))
                    r.spare.push_back({i, b, words});
                r.content.pictureBlocks.push_back(block);
                taken();
            }
        }
        for (int t = 0; t < 2; ++t) {
            if (taker.Take(NameTableAddress(t), once, r.content.nameTables[t]))
                taken();
        }
        if (taker.Take(kProgramAddress, once, r.content.programBlock))
            taken();
        if (taker.Ended() == ReadEnd::Done && stop && stop())
            taker.End(ReadEnd::Stopped, kAfterLastBlock);
    }
    Close(taker, r);
    return r;
}

VerifyResult VerifyController(const PictureTable &pictures, int n, const ProgramTable &program,
                              int m, int port, const ReadProgressFn &progress, const StopFn &stop)
{
    VerifyResult v;
    ReadResult &r = v.read;
    BlockTaker taker(stop);
    Comparison comparison;
    n = std::clamp(n, 0, kMaxPictures);
    m = std::clamp(m, 0, kMaxProgram);

    if (OpenAndTakeRecord(port, taker, nullptr, r.content.record)) {
        comparison.PictureCount(n, r.content.record);
        // Only the pictures both hold are compared; a count that differs
        // is itself a difference. The program is read whenever the
        // controller has one, to tell which of its steps a library lists.
        Expectation e;
        const int held = std::min(n, r.content.PictureCount());
        e.written.programLength = m;
        e.written.pictures = held > 0 ? &pictures : nullptr;
        e.written.pages = FirstPages(held);
        e.held = &r.content.record;
        e.written.program = r.content.ProgramLength() > 0 ? &program : nullptr;
        if (!e.written.program)
            comparison.ListedProgram(Block1K{}, m, Block1K{}, 0, 0);
        e.namedPictures = held;
        const int total = 1 + BlocksOf(e.written);
        if (progress)
            progress(1, total);
        CompareBlocks(e, taker, comparison, [&] {
            if (progress)
                progress(taker.Blocks(), total);
        });
    }
    Close(taker, r);
    if (r.ok)
        v.differences = comparison.Differences();
    return v;
}

CheckResult CheckWrittenBlocks(const WrittenBlocks &written, const std::function<void()> &onBlock,
                               const StopFn &stop)
{
    CheckResult c;
    BlockTaker taker(stop);
    Comparison comparison;
    Block1K block{};
    const std::function<void()> each = [&] {
        if (onBlock)
            onBlock();
    };
    if (taker.Take(kRecordAddress, nullptr, block)) {
        ConfigRecord read;
        std::copy_n(block.begin() + kRecordOffset, read.size(), read.begin());
        comparison.Record(RecordAsWritten(written.record), read);
        each();
        Expectation e;
        e.written = written;
        e.namedPictures = written.pictureCount;
        e.steps = written.programLength;
        CompareBlocks(e, taker, comparison, each);
    }
    c.end = taker.Ended();
    c.where = taker.Where();
    if (c.end == ReadEnd::Done)
        c.differences = comparison.Differences();
    return c;
}

int CheckedBlocks(int pages, bool pictures, bool program)
{
    return 1 + (pictures ? kBlocksPerPicture * pages + 2 : 0) + (program ? 1 : 0);
}

}  // namespace korvex
