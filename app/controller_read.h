// Reading a controller back, widget-free, shared by the desktop program
// and korvex-cli: a backup of everything it holds, a comparison with a
// library, and the check that ends an upload. Reads only: nothing here
// writes to the controller or restarts it. Like the uploads, each opens
// the port, reports progress, honours a stop request between blocks,
// always closes the port and says where it ended and why.
//
// A read reply carries no CRC, so a line error would pass unseen. A block
// is therefore taken only when two reads of it agree (or, when it is
// compared, when a read equals what the host expects there); reads that
// disagree are repeated, and three reads without two that agree end the
// read at that block.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "app/exchange_control.h"
#include "model/memory_map.h"
#include "model/readback.h"

namespace korvex {

enum class ReadMode {
    Careful,  // every block read until two reads agree (at least twice)
    Quick,    // every block read once; a picture block holding spare bits
              // (which the host never writes) is read until two reads agree
};

enum class ReadEnd {
    Done,
    OpenFailed,     // ComInitial failed
    NoReply,        // Read1KData failed at `where` (no reply or a short one)
    Disagreed,      // three reads of `where` without two that agree
    Stopped,        // a stop request came before `where` was read, or after
                    // the last block (`where` kAfterLastBlock)
    CountsRefused,  // the record holds a count no library can take
};

// Where a reading stopped when the stop request came after its last block.
constexpr BlockAddress kAfterLastBlock = {-1, -1};

// A picture block that holds bits the host never writes.
struct SpareBits {
    int picture;
    int quarter;
    int words;  // how many of its 512 words have a spare bit set
};

struct ReadResult {
    bool ok = false;
    ReadEnd end = ReadEnd::Done;
    BlockAddress where{};               // the block where it ended
    std::optional<CountFault> refusal;  // with CountsRefused
    int blocks = 0;                     // blocks taken
    int reads = 0;                      // Read1KData calls made
    std::vector<SpareBits> spare;
    ControllerContent content;  // what was taken so far
};

// Called after every block taken with the blocks taken so far and the
// total, which is known once the record has been read (1 until then).
using ReadProgressFn = std::function<void(int position, int total)>;

// Reads the record, then (when its counts are within 121 and 512) pictures
// 0..n-1, both name tables and the program block. A stop request that
// comes while the last block is read still ends it Stopped, so that a
// caller never keeps what the operator stopped.
ReadResult ReadController(int port, ReadMode mode, const ReadProgressFn &progress,
                          const StopFn &stop = nullptr);

struct VerifyResult {
    ReadResult read;  // read.content holds the record; the rest is compared, not kept
    std::vector<Difference> differences;
};

// Compares the controller with a library of n pictures and m listed steps:
// the picture count, pictures 0..min(n, held)-1 as the upload would send
// them, their names as the name tables would carry them, and the
// controller's program as a library made from it would list it
// (Comparison::ListedProgram). A block that differs is read again before
// the difference is taken.
VerifyResult VerifyController(const PictureTable &pictures, int n, const ProgramTable &program,
                              int m, int port, const ReadProgressFn &progress,
                              const StopFn &stop = nullptr);

// What an upload wrote, for the read-back that ends a checked upload.
struct WrittenBlocks {
    ConfigRecord record{};  // the host copy the upload wrote (WriteConfigRecord)
    int pictureCount = 0;   // its fields
    int programLength = 0;
    const PictureTable *pictures = nullptr;  // with `pages` and the name tables
    std::vector<int> pages;
    // Name table 1 as written, its tag included; without it, table 1 is
    // expected as its names alone would fill it.
    const Block1K *nameTable1 = nullptr;
    const ProgramTable *program = nullptr;  // with the program block
};

// Needs the open port of the upload. Reads back every block in `written`
// and the record (all of its bytes, as the write stamped them) and
// compares; `end`/`where` say where a read failed.
struct CheckResult {
    ReadEnd end = ReadEnd::Done;
    BlockAddress where{};
    std::vector<Difference> differences;
};
CheckResult CheckWrittenBlocks(const WrittenBlocks &written, const std::function<void()> &onBlock,
                               const StopFn &stop);
// Blocks such a check reads: the record, four per picture page, the name
// tables with pictures, the program block with a program.
int CheckedBlocks(int pages, bool pictures, bool program);

}  // namespace korvex
