// The changed upload: two reads, the decision, then the plain upload's
// commands for what the plan names. Its name table 1 is written twice when
// the controller carries a tag of ours that vouches for its content: once
// without the tag before the first picture block (so that no korvex, on
// this computer or another, trusts a controller this upload has begun to
// change), and once with the new tag last.
#include "app/changed_upload.h"

#include <algorithm>

#include "app/upload_ledger.h"
#include "app/upload_sequence.h"
#include "link/korvex_api.h"
#include "model/line.h"
#include "model/memory_map.h"
#include "model/upload_tag.h"

namespace korvex {

namespace {

using namespace upload_detail;

ChangedPlan FullPlan(int n, FullReason reason)
{
    ChangedPlan plan;
    plan.full = true;
    plan.reason = reason;
    plan.count = n;
    for (int i = 0; i < n; ++i)
        plan.pages.push_back(i);
    return plan;
}

bool PageDiffers(const UploadImage &before, const UploadImage &now, int page)
{
    const auto first = [page](const UploadImage &image) {
        return image.pictureBlocks.begin() + kBlocksPerPicture * page;
    };
    return !std::equal(first(now), first(now) + kBlocksPerPicture, first(before));
}

// What to send so that the controller, holding what the tag vouches for
// and `heldCount` pictures, ends up holding `now`.
ChangedPlan Decide(const QString &folder, const std::optional<UploadTag> &tag, int heldCount,
                   const UploadImage &now)
{
    const int n = now.count;
    if (!tag)
        return FullPlan(n, FullReason::NoTag);
    if (!tag->Tracked())
        return FullPlan(n, FullReason::Untracked);
    UploadImage before;
    switch (LoadUpload(folder, tag->id, before)) {
    case LedgerRead::Missing: return FullPlan(n, FullReason::NoRecord);
    case LedgerRead::Damaged: return FullPlan(n, FullReason::DamagedRecord);
    case LedgerRead::Found: break;
    }
    if (DigestOf(before) != tag->digest)
        return FullPlan(n, FullReason::DigestMismatch);
    if (before.count != heldCount)
        return FullPlan(n, FullReason::CountMismatch);
    Pending pending;
    if (PendingOf(folder, tag->id, pending) == LedgerRead::Damaged)
        return FullPlan(n, FullReason::DamagedRecord);

    ChangedPlan plan;
    plan.full = false;
    plan.reason = FullReason::None;
    plan.count = n;
    for (int i = 0; i < n; ++i)
        if (i >= before.count || pending.pages[static_cast<size_t>(i)] ||
            PageDiffers(before, now, i))
            plan.pages.push_back(i);
    plan.nameTable0 = pending.tables || before.nameTables[0] != now.nameTables[0];
    const bool names1 = pending.tables || before.nameTables[1] != now.nameTables[1];
    // Anything written needs a new tag, and the record carries the count.
    const bool anything = !plan.pages.empty() || plan.nameTable0 || names1 || n != before.count;
    plan.record = anything;
    plan.nameTable1 = anything;
    return plan;
}

}  // namespace

std::string FullReasonText(FullReason reason)
{
    switch (reason) {
    case FullReason::None: break;
    case FullReason::NoTag: return "the controller was last written by another program";
    case FullReason::Untracked:
        return "the controller's last upload sent chosen pictures only, of which no record is kept";
    case FullReason::NoRecord:
        return "this computer holds no record of the controller's last upload";
    case FullReason::DamagedRecord: return "the record of the last upload is damaged";
    case FullReason::DigestMismatch:
        return "the controller's tag does not match this computer's record of its last upload";
    case FullReason::CountMismatch:
        return "the controller's picture count is not the one its last upload left";
    }
    return std::string();
}

ChangedResult SendChangedPictures(const PictureTable &pictures, int n, int port,
                                  const ProgressFn &progress, const StopFn &stop,
                                  const ChangedOptions &options)
{
    ChangedResult out;
    UploadResult &result = out.upload;
    n = std::clamp(n, 0, kMaxPictures);
    result.count = n;
    Sequence seq(result, stop);

    seq.Run(UploadStep::Open, [&] { return ComInitial(port, kBaud) != 0; });
    ConfigRecord scratch{};
    Block1K heldNames{};
    seq.Run(UploadStep::RecordRead, [&] {
        const BlockAddress at = NameTableAddress(1);
        return ReadConfigRecord(scratch) && Read1KData(at.page, at.block, heldNames.data()) != 0;
    });
    if (seq.Ended()) {
        seq.Finish();
        return out;
    }

    const QString folder = UploadLedgerFolder();
    const std::optional<UploadTag> heldTag = ReadUploadTag(heldNames);
    const UploadImage image = ImageOfLibrary(pictures, n);
    out.plan = Decide(folder, heldTag, scratch[cfg::kPictureCount], image);
    out.planned = true;
    if (options.onPlan)
        options.onPlan(out.plan);
    if (options.dryRun || out.plan.Nothing()) {
        seq.Finish();
        return out;
    }

    result.pages = out.plan.pages;
    MarkUploadPending(result.pages);
    scratch[cfg::kPictureCount] = static_cast<uint8_t>(n);
    // A tag that would vouch for the old content goes first.
    const bool clearTag = heldTag && heldTag->Tracked();
    seq.Run(UploadStep::RecordWrite, [&] {
        return WriteConfigRecord(scratch) && (!clearTag || WriteNameTable(1, image.nameTables[1]));
    });
    int position = 0;
    SendPages(seq, result, pictures, progress, position);
    if (out.plan.nameTable0)
        seq.Run(UploadStep::NameTable1, [&] { return WriteNameTable(0, image.nameTables[0]); });
    PictureUploadEnd end;
    end.pictures = &pictures;
    end.count = n;
    end.record = scratch;
    end.image = &image;
    end.check = options.check;
    EndPictureUpload(seq, result, end, progress, position, stop);
    return out;
}

}  // namespace korvex
