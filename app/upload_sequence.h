// The parts the picture uploads share (the plain, the chosen-pictures and
// the changed one): the command sequence with its stop point, the picture
// blocks, name table 1 with its tag, the mark of a pending upload and the
// read-back of a checked upload. Internal to app/.
#pragma once

#include <optional>
#include <vector>

#include "app/upload.h"
#include "model/upload_tag.h"

namespace korvex::upload_detail {

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
    void Finish();

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

// The four blocks of each page of result.pages, in order, counting the
// acknowledged ones in result.blocksWritten; `position` follows every
// block sent, the failed one included.
void SendPages(Sequence &seq, UploadResult &result, const PictureTable &pictures,
               const ProgressFn &progress, int &position);

// Before an upload's first write: the pages it may touch and the name
// tables are marked as unknown for every record of uploads held.
void MarkUploadPending(const std::vector<int> &pages);

// How name table 1 of an upload is tagged.
enum class Tagging {
    Recorded,    // a fresh id naming the record of pictures 0..n-1, filed now
    Unrecorded,  // ours, with no id: the host knows only part of what it left
};

// Name table 1 of `pictures` with its tag. With Recorded, the record is
// filed before this returns (no tag when it cannot be filed) and `filed`
// gets its id.
Block1K TaggedNameTable(const PictureTable &pictures, int n, Tagging tagging,
                        std::optional<UploadId> &filed);

// After an upload that filed a record and did not complete: when its
// read-back found the controller holding something else, the record is
// forgotten; otherwise the name tables count as pending for every record,
// so that the next changed upload writes them, the record and a restart.
void SettleUnfinished(const UploadResult &result, const std::optional<UploadId> &filed);

// The read-back step of a checked upload, run with the port still open.
void RunCheck(Sequence &seq, UploadResult &result, const WrittenBlocks &written,
              const std::function<void()> &onBlock, const StopFn &stop);

}  // namespace korvex::upload_detail
