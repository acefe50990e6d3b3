// The picture upload and the program upload: one self-contained exchange
// each, in a fixed order. The port is closed whatever happened, a failed
// step or a stop request skips every later command, and nothing is retried
// here. The result keeps the step where the sequence ended. A picture
// upload marks its pages as pending on the host before its first write and
// tags name table 1 (app/changed_upload.h).
#include "app/upload.h"

#include <algorithm>

#include "app/upload_ledger.h"
#include "app/upload_sequence.h"
#include "link/korvex_api.h"
#include "model/encoders.h"
#include "model/line.h"
#include "model/memory_map.h"
#include "model/upload_tag.h"

namespace korvex {

namespace upload_detail {

void Sequence::Finish()
{
    ComClose();
    result_.ok = !ended_;
    if (!ended_)
        result_.step = UploadStep::Done;
}

void SendPages(Sequence &seq, UploadResult &result, const PictureTable &pictures,
               const ProgressFn &progress, int &position)
{
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
}

void MarkUploadPending(const std::vector<int> &pages)
{
    MarkPending(UploadLedgerFolder(), pages);
}

bool WriteNameTable(int table, const Block1K &names)
{
    const BlockAddress at = NameTableAddress(table);
    return Write1KData(at.page, at.block, names.data()) != 0;
}

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

namespace {

// Name table 1 of the upload with its tag; `filed` gets the id of the
// record filed for it.
Block1K TaggedNameTable(const PictureUploadEnd &end, std::optional<UploadId> &filed)
{
    Block1K names = EncodeNameTable(*end.pictures, 1);
    UploadTag tag;
    if (end.tagging == Tagging::Recorded) {
        std::optional<UploadImage> made;
        const UploadImage &image =
            end.image ? *end.image : made.emplace(ImageOfLibrary(*end.pictures, end.count));
        tag.id = NewUploadId();
        tag.digest = DigestOf(image);
        // A tag never names a record the host does not hold.
        if (!StoreUpload(UploadLedgerFolder(), tag.id, image)) {
            ClearUploadTag(names);
            return names;
        }
        filed = tag.id;
    }
    PutUploadTag(names, tag);
    return names;
}

void SettleUnfinished(const UploadResult &result, const std::optional<UploadId> &filed)
{
    if (result.ok || !filed)
        return;
    const bool differs = result.step == UploadStep::ReadBack && result.check.end == ReadEnd::Done &&
                         !result.check.differences.empty();
    if (differs)
        ForgetUpload(UploadLedgerFolder(), *filed);
    else
        MarkPending(UploadLedgerFolder(), {});
}

}  // namespace

void EndPictureUpload(Sequence &seq, UploadResult &result, const PictureUploadEnd &end,
                      const ProgressFn &progress, int &position, const StopFn &stop)
{
    Block1K names{};
    std::optional<UploadId> filed;
    seq.Run(UploadStep::NameTable2, [&] {
        // The record of what the upload left is filed before the frame
        // that carries the tag naming it.
        names = TaggedNameTable(end, filed);
        return WriteNameTable(1, names);
    });
    if (end.check) {
        WrittenBlocks written;
        written.record = end.record;
        written.pictureCount = end.count;
        written.programLength = GetWord(end.record, cfg::kProgramCount);
        written.pictures = end.pictures;
        written.pages = result.pages;
        written.nameTable1 = &names;
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
    SettleUnfinished(result, filed);
}

}  // namespace upload_detail

namespace {

using namespace upload_detail;

UploadResult RunPictureUpload(const PictureTable &pictures, int n, std::vector<int> pages, int port,
                              const ProgressFn &progress, const StopFn &stop, bool check,
                              Tagging tagging)
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
    if (!seq.Ended())
        MarkUploadPending(result.pages);
    // The record carries the new count before the first picture block.
    seq.Run(UploadStep::RecordWrite, [&] { return WriteConfigRecord(scratch); });
    int position = 0;
    SendPages(seq, result, pictures, progress, position);
    seq.Run(UploadStep::NameTable1,
            [&] { return WriteNameTable(0, EncodeNameTable(pictures, 0)); });
    PictureUploadEnd end;
    end.pictures = &pictures;
    end.count = n;
    end.record = scratch;
    end.tagging = tagging;
    end.check = check;
    EndPictureUpload(seq, result, end, progress, position, stop);
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
    return RunPictureUpload(pictures, n, std::move(pages), port, progress, stop, check,
                            Tagging::Recorded);
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
    // Only the chosen pages are known to hold what the library says.
    return RunPictureUpload(pictures, n, std::move(pages), port, progress, stop, check,
                            Tagging::Unrecorded);
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
