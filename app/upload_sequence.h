// The parts the picture uploads share (the plain, the chosen-pictures and
// the changed one): the command sequence with its stop point, the picture
// blocks, name table 1 with its tag, the mark of a pending upload and the
// read-back of a checked upload. Internal to app/.
#pragma once

#include <optional>
#include <vector>

#include "app/upload.h"
#include "app/upload_ledger.h"
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

// Writes name table `table` (0 or 1) with Write1KData.
bool WriteNameTable(int table, const Block1K &names);

// How name table 1 of an upload is tagged.
enum class Tagging {
    Recorded,    // a fresh id naming the record of pictures 0..n-1, filed now
    Unrecorded,  // ours, with no id: the host knows only part of what it left
};

// The read-back step of a checked upload, run with the port still open.
void RunCheck(Sequence &seq, UploadResult &result, const WrittenBlocks &written,
              const std::function<void()> &onBlock, const StopFn &stop);

// How a picture upload ends, from name table 1 on.
struct PictureUploadEnd {
    const PictureTable *pictures = nullptr;
    int count = 0;          // pictures 0..count-1 are the library sent
    ConfigRecord record{};  // the record as the upload wrote it
    Tagging tagging = Tagging::Recorded;
    const UploadImage *image = nullptr;  // what the upload leaves, when the caller has it
    bool check = false;
};

// The end every picture upload shares: name table 1 with its tag (with
// Recorded, the record of what the upload leaves is filed first; no tag
// when it cannot be filed), a checked upload's read-back of the record, the
// pages and name table 1 as written (`position` going on past the blocks
// written), the restart and the port closed. An upload that filed its
// record and did not complete then settles it: a read-back that found the
// controller holding something else forgets the record; any other end
// marks the name tables pending for every record, so that the next changed
// upload writes them, the record and a restart.
void EndPictureUpload(Sequence &seq, UploadResult &result, const PictureUploadEnd &end,
                      const ProgressFn &progress, int &position, const StopFn &stop);

}  // namespace korvex::upload_detail
