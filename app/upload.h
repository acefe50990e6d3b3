// The uploads to the controller, widget-free, shared by the desktop program
// and korvex-cli. Each opens the port, runs its fixed sequence of commands,
// always closes the port, and reports how far it got, so that both front
// ends can tell the operator exactly what the controller now holds.
#pragma once

#include <functional>
#include <vector>

#include "app/controller_read.h"
#include "app/exchange_control.h"
#include "model/config_record.h"
#include "model/library.h"

namespace korvex {

// The commands of an upload, in the order they are sent.
enum class UploadStep {
    Open,          // ComInitial
    RecordRead,    // the configuration record, read
    RecordWrite,   // the record written back with the new count
    PictureBlock,  // one quarter of a picture
    NameTable1,    // page 127 block 0: names of pictures 1..64
    NameTable2,    // page 127 block 1: names of pictures 65..120
    ProgramBlock,  // page 127 block 2
    ReadBack,      // a checked upload: what it wrote, read back and compared
    Restart,       // ResetCard
    Done,          // every command was sent and acknowledged
};

// What one command of an upload left in the controller.
enum class Held {
    Before,   // not sent (or not reached): the controller holds what it held
    Unsure,   // sent but not acknowledged: it may have landed, whole or in part
    Written,  // acknowledged
};

struct UploadResult {
    bool ok = false;
    int count = 0;  // the count the record is written with (host copy after success)
    // Set when a stop request ended the upload before `step` was sent.
    bool stopped = false;
    // The command that failed, or the first one not sent after a stop;
    // Done after success.
    UploadStep step = UploadStep::Done;
    // Picture uploads: the pictures sent (0-based, in sending order) and
    // how many of their blocks the controller acknowledged, in that order.
    std::vector<int> pages;
    int blocksWritten = 0;
    // A checked upload: where its read-back ended, and what differs
    // (step ReadBack with no restart sent when either is not clean).
    bool checked = false;
    CheckResult check;

    int Blocks() const { return 4 * static_cast<int>(pages.size()); }
    // Whether the controller confirmed `s` (every step before `step` was).
    bool Confirmed(UploadStep s) const;
    // What `s` left: Written when confirmed, Unsure for the command that
    // failed (a stop comes between commands, so it leaves nothing unsure),
    // Before otherwise.
    Held Left(UploadStep s) const;
    // The pictures whose four blocks were all acknowledged.
    std::vector<int> CompletePictures() const;
    // The picture left partly replaced (some blocks acknowledged, or the
    // failed block in flight), -1 when none; `acknowledged` gets the number
    // of its blocks the controller confirmed.
    int PartialPicture(int *acknowledged = nullptr) const;
    // The pictures of this upload not sent at all.
    std::vector<int> UnsentPictures() const;
};

// With `check`, an upload reads back every block it wrote and the record
// before the restart (CheckWrittenBlocks) and sends no restart when a read
// fails or anything differs. The progress position then goes on past the
// blocks written, one for each block read back (CheckedBlocks), for
// picture uploads.
//
// Sends pictures 0..n-1 (4 blocks each, Write1KData_Ex pages 0..n-1), after
// writing the record with byte 16 = n; then both name tables and a restart.
UploadResult SendPictures(const PictureTable &pictures, int n, int port, const ProgressFn &progress,
                          const StopFn &stop = nullptr, bool check = false);

// The same sequence with the blocks of the chosen pictures only (0-based,
// each sent once, in page order; those at or past n are left out): the
// record still gets the library's count n, and both name tables and the
// restart follow.
UploadResult SendChosenPictures(const PictureTable &pictures, int n, const std::vector<int> &chosen,
                                int port, const ProgressFn &progress, const StopFn &stop = nullptr,
                                bool check = false);

// Writes the record with bytes 19..20 = m, the program block (page 127
// block 2), then a restart.
UploadResult SendProgram(const ProgramTable &program, int m, int port, const StopFn &stop = nullptr,
                         bool check = false);

// Applies a successful upload's count to the host copy.
void RecordPictureCount(ConfigRecord &host, int n);
void RecordProgramLength(ConfigRecord &host, int m);

}  // namespace korvex
