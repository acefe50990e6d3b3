// The picture upload and the program upload: one self-contained exchange
// each, in a fixed order. The port is closed whatever happened, a failed
// step or a stop request skips every later command, and nothing is retried
// here. The result keeps the step where the sequence ended.
#include "app/upload.h"

#include <algorithm>

#include "link/korvex_api.h"
#include "model/encoders.h"
#include "model/line.h"
#include "model/memory_map.h"

namespace korvex {

namespace {

// Runs the commands of one upload in order and notes in the result where
// it ended: at the first command that failed, or before the first one a
// stop request kept from being sent.
class Sequence {
public:
    Sequence(UploadResult &result, const StopFn &stop) : result_(result), stop_(stop) {}

    // False once the sequence has ended; `command` returns success.
    template <typename Command>
    bool Run(UploadStep step, Command &&command)
    {
        if (ended_)
            return false;
        if (stop_ && stop_()) {
            result_.stopped = true;
            return End(step);
        }
        if (!command())
            return End(step);
        return true;
    }
    bool Ended() const { return ended_; }

    // Closes the port and completes the result.
    void Finish()
    {
        ComClose();
        result_.ok = !ended_;
        if (!ended_)
            result_.step = UploadStep::Done;
    }

private:
    bool End(UploadStep step)
    {
        result_.step = step;
        ended_ = true;
        return false;
    }

    UploadResult &result_;
    const StopFn &stop_;
    bool ended_ = false;
};

// The read-back step of a checked upload, run with the port still open.
void RunCheck(Sequence &seq, UploadResult &result, const WrittenBlocks &written,
              const std::function<void()> &onBlock, const StopFn &stop)
{
    result.checked = true;
    seq.Run(UploadStep::ReadBack, [&] {
        result.check = CheckWrittenBlocks(written, onBlock, stop);
        if (result.check.end == ReadEnd::Stopped)
            result.stopped = true;
        return result.check.end == ReadEnd::Done && result.check.differences.empty();
    });
}

UploadResult RunPictureUpload(const PictureTable &pictures, int n, std::vector<int> pages, int port,
                              const ProgressFn &progress, const StopFn &stop, bool check)
{
    UploadResult result;
    result.count = n;
    result.pages = std::move(pages);
    Sequence seq(result, stop);

    seq.Run(UploadStep::Open, [&] { return ComInitial(port, kBaud) != 0; });
    ConfigRecord scratch{};
    // Nothing is written when the record cannot be read.
    seq.Run(UploadStep::RecordRead, [&] { return ReadConfigRecord(scratch); });
    scratch[cfg::kPictureCount] = static_cast<uint8_t>(n);
    // The record carries the new count before the first picture block.
    seq.Run(UploadStep::RecordWrite, [&] { return WriteConfigRecord(scratch); });
    int position = 0;
    for (const int page : result.pages) {
        for (int b = 0; b < kBlocksPerPicture && !seq.Ended(); ++b) {
            bool sent = false;
            const bool ok = seq.Run(UploadStep::PictureBlock, [&] {
                // One block buffer, filled and sent before the next is filled.
                const Block1K block = EncodePictureBlock(pictures[static_cast<size_t>(page)], b);
                sent = true;
                const BlockAddress at = PictureBlockAddress(page, b);
                return Write1KData_Ex(at.page, at.block, block.data()) != 0;
            });
            if (ok)
                ++result.blocksWritten;
            // The bar follows every block sent, the failed one included.
            if (sent) {
                ++position;
                if (progress)
                    progress(position);
            }
        }
    }
    seq.Run(UploadStep::NameTable1, [&] {
        const Block1K names = EncodeNameTable(pictures, 0);
        const BlockAddress at = NameTableAddress(0);
        return Write1KData(at.page, at.block, names.data()) != 0;
    });
    seq.Run(UploadStep::NameTable2, [&] {
        const Block1K names = EncodeNameTable(pictures, 1);
        const BlockAddress at = NameTableAddress(1);
        return Write1KData(at.page, at.block, names.data()) != 0;
    });
    if (check) {
        WrittenBlocks written;
        written.record = scratch;
        written.pictureCount = n;
        written.programLength = GetWord(scratch, cfg::kProgramCount);
        written.pictures = &pictures;
        written.pages = result.pages;
        RunCheck(
            seq, result, written,
            [&] {
                if (progress)
                    progress(++position);
            },
            stop);
    }
    seq.Run(UploadStep::Restart, [] { return ResetCard() != 0; });
    seq.Finish();
    return result;
}

// Never more pictures than the library holds.
int PictureCountToSend(int n)
{
    return std::clamp(n, 0, kMaxPictures);
}

}  // namespace

bool UploadResult::Confirmed(UploadStep s) const
{
    return static_cast<int>(s) < static_cast<int>(step);
}

Held UploadResult::Left(UploadStep s) const
{
    if (Confirmed(s))
        return Held::Written;
    return !ok && !stopped && step == s ? Held::Unsure : Held::Before;
}

std::vector<int> UploadResult::CompletePictures() const
{
    const size_t complete = static_cast<size_t>(blocksWritten / kBlocksPerPicture);
    return std::vector<int>(pages.begin(), pages.begin() + static_cast<long>(complete));
}

int UploadResult::PartialPicture(int *acknowledged) const
{
    const int k = blocksWritten / kBlocksPerPicture;
    const int within = blocksWritten % kBlocksPerPicture;
    if (acknowledged)
        *acknowledged = within;
    if (k >= static_cast<int>(pages.size()))
        return -1;
    // A failed block may have landed in part; a stop comes between blocks.
    const bool failedHere = Left(UploadStep::PictureBlock) == Held::Unsure;
    return within > 0 || failedHere ? pages[static_cast<size_t>(k)] : -1;
}

std::vector<int> UploadResult::UnsentPictures() const
{
    size_t first = static_cast<size_t>(blocksWritten / kBlocksPerPicture);
    if (PartialPicture() >= 0)
        ++first;
    first = std::min(first, pages.size());
    return std::vector<int>(pages.begin() + static_cast<long>(first), pages.end());
}

UploadResult SendPictures(const PictureTable &pictures, int n, int port, const ProgressFn &progress,
                          const StopFn &stop, bool check)
{
    n = PictureCountToSend(n);
    std::vector<int> pages(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        pages[static_cast<size_t>(i)] = i;
    return RunPictureUpload(pictures, n, std::move(pages), port, progress, stop, check);
}

UploadResult SendChosenPictures(const PictureTable &pictures, int n, const std::vector<int> &chosen,
                                int port, const ProgressFn &progress, const StopFn &stop,
                                bool check)
{
    n = PictureCountToSend(n);
    std::vector<int> pages;
    for (const int i : chosen)
        if (i >= 0 && i < n)
            pages.push_back(i);
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    return RunPictureUpload(pictures, n, std::move(pages), port, progress, stop, check);
}

UploadResult SendProgram(const ProgramTable &program, int m, int port, const StopFn &stop,
                         bool check)
{
    UploadResult result;
    m = std::clamp(m, 0, kMaxProgram);
    result.count = m;
    Sequence seq(result, stop);

    seq.Run(UploadStep::Open, [&] { return ComInitial(port, kBaud) != 0; });
    ConfigRecord scratch{};
    seq.Run(UploadStep::RecordRead, [&] { return ReadConfigRecord(scratch); });
    SetWord(scratch, cfg::kProgramCount, static_cast<uint16_t>(m));
    seq.Run(UploadStep::RecordWrite, [&] { return WriteConfigRecord(scratch); });
    const Block1K block = EncodeProgramBlock(program, m);
    seq.Run(UploadStep::ProgramBlock, [&] {
        return Write1KData(kProgramAddress.page, kProgramAddress.block, block.data()) != 0;
    });
    if (check) {
        WrittenBlocks written;
        written.record = scratch;
        written.pictureCount = scratch[cfg::kPictureCount];
        written.programLength = m;
        written.program = &program;
        RunCheck(seq, result, written, nullptr, stop);
    }
    seq.Run(UploadStep::Restart, [] { return ResetCard() != 0; });
    seq.Finish();
    return result;
}

void RecordPictureCount(ConfigRecord &host, int n)
{
    host[cfg::kPictureCount] = static_cast<uint8_t>(n);
}

void RecordProgramLength(ConfigRecord &host, int m)
{
    SetWord(host, cfg::kProgramCount, static_cast<uint16_t>(m));
}

}  // namespace korvex
