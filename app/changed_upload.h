// Sending only what changed since the controller's last upload.
//
// Every picture upload korvex makes leaves a tag in the unused tail of name
// table 1 (model/upload_tag.h) naming a record this computer keeps of what
// the upload left in the controller (app/upload_ledger.h). A changed upload
// reads the controller's record and name table 1, and trusts the controller
// only when the tag is ours, this computer holds the record it names, and
// the record's digest and picture count agree with the controller. Then it
// sends the picture pages whose encoding differs from the record's (and
// every page an interrupted upload may have touched since), name table 0
// when it differs, the record when the count changes, and name table 1 with
// a new tag last. In any other case it sends everything and says why.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/upload.h"

namespace korvex {

// Why a changed upload sends everything.
enum class FullReason {
    None,            // trusted: only what differs is sent
    NoTag,           // name table 1 carries no tag of ours
    Untracked,       // our tag without a record: korvex's upload of chosen pictures
    NoRecord,        // this computer holds no record of the upload the tag names
    DamagedRecord,   // the record (or the mark of pending uploads) fails its check
    DigestMismatch,  // the record is not what the tag vouches for
    CountMismatch,   // the controller's picture count is not the record's
};

// The one line a front end shows for a full upload ("" for None), e.g.
// "the controller was last written by another program".
std::string FullReasonText(FullReason reason);

// What a changed upload is about to send, decided before any write.
struct ChangedPlan {
    bool full = true;
    FullReason reason = FullReason::NoTag;
    int count = 0;           // the picture count the controller is left with
    std::vector<int> pages;  // the pictures to send, 0-based, ascending
    bool record = true;      // the record is written (the count changes, or a full upload)
    bool nameTable0 = true;  // name table 0 is written
    bool nameTable1 = true;  // name table 1 (with the new tag) is written

    // Nothing differs: nothing is written and no restart is sent.
    bool Nothing() const { return !full && pages.empty() && !record && !nameTable0 && !nameTable1; }
    int Blocks() const { return kBlocksPerPicture * static_cast<int>(pages.size()); }
};

// Called once the plan is made and before anything is written.
using PlanFn = std::function<void(const ChangedPlan &plan)>;

struct ChangedOptions {
    // Read back every block written, both name tables (the tag included)
    // and the record before the restart, as the checked uploads do; the
    // progress goes on past the blocks written by
    // CheckedBlocks(plan.pages.size(), true, false).
    bool check = false;
    // End once the plan is handed over: the port is closed, nothing written.
    bool dryRun = false;
    PlanFn onPlan;
};

struct ChangedResult {
    // As the other picture uploads report it: `pages` are the pictures sent,
    // `count` the count the record holds after success. The reads before
    // the plan report their failure as UploadStep::RecordRead; the record
    // write and the tag's clearing before the first picture block as
    // UploadStep::RecordWrite.
    UploadResult upload;
    bool planned = false;  // the reads succeeded and `plan` holds the decision
    ChangedPlan plan;
};

// The changed upload of pictures 0..n-1 of `pictures`, the port opened once.
// The record of uploads lives in UploadLedgerFolder().
ChangedResult SendChangedPictures(const PictureTable &pictures, int n, int port,
                                  const ProgressFn &progress, const StopFn &stop = nullptr,
                                  const ChangedOptions &options = {});

}  // namespace korvex
