// What a controller holds, as read back block by block, and the pure
// rules applied to it: which counts a library can take, the library file
// a backup makes of it, and the differences from what the host would send.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/config_record.h"
#include "model/count_fault.h"
#include "model/encoders.h"
#include "model/library.h"
#include "model/library_file.h"

namespace korvex {

// The blocks read from one controller. The record is in host order.
struct ControllerContent {
    ConfigRecord record{};
    std::vector<Block1K> pictureBlocks;  // four per picture, pictures 0..n-1
    Block1K nameTables[2]{};
    Block1K programBlock{};

    int PictureCount() const { return record[cfg::kPictureCount]; }
    int ProgramLength() const { return GetWord(record, cfg::kProgramCount); }
};

// A count in a controller's record that no library can hold.
std::optional<CountFault> RefuseCounts(const ConfigRecord &record);

// The steps among 0..steps-1 of a program read back that a library made
// from it does not list (StepIsListed): those that name a picture at or
// beyond `pictures`, the controller's picture count. 0-based, ascending.
std::vector<int> UnlistedSteps(const ProgramTable &program, int steps, int pictures);

// The library a backup writes: the record's counts, every picture's
// colours, the names the name tables carry (the picture at index 120 has
// no slot and gets an empty name) and the program's entries. The counts
// must have passed RefuseCounts; pictures without blocks stay black.
void ContentToLibrary(const ControllerContent &content, LibraryData &library);

// One way in which a controller differs from what the host would send.
struct Difference {
    enum class Kind {
        RecordByte,  // a byte of the record differs from the copy written
        PictureCount,
        ProgramLength,
        Pixels,
        Name,
        UnheldPicture,  // a step of the controller names a picture it does not hold
        Step,
    };
    explicit Difference(Kind k, int i = -1) : kind(k), index(i) {}
    Kind kind;
    // The record byte (RecordByte), the picture (Pixels, Name) or the step
    // (UnheldPicture, Step, numbered as the controller's program), 0-based.
    int index = -1;
    int expected = 0;     // RecordByte, PictureCount, ProgramLength: the host's value
    int actual = 0;       // ... and the controller's
    int pixels = 0;       // Pixels: how many of the picture's 2048 differ
    int firstPixel = -1;  // Pixels: the first of them
    std::string expectedName, actualName;       // Name: GBK bytes
    ProgramEntry expectedStep{}, actualStep{};  // Step; UnheldPicture: actualStep
};

// Collects differences block by block, each block compared with what the
// host would write there (the same encoders as the uploads).
class Comparison {
public:
    // Every byte of the record as written (RecordAsWritten) and as read,
    // both in the controller's byte order.
    void Record(const ConfigRecord &written, const ConfigRecord &read);
    // The picture count field.
    void PictureCount(int expectedPictures, const ConfigRecord &actual);
    // Pixel words of one quarter of a picture.
    void PictureBlock(int picture, int quarter, const Block1K &expected, const Block1K &actual);
    // The names of those pictures below `pictures` that table t carries.
    void NameTable(int table, const Block1K &expected, const Block1K &actual, int pictures);
    // Program entries 0..steps-1.
    void ProgramBlock(const Block1K &expected, const Block1K &actual, int steps);
    // The controller's program of `actualSteps` entries with `actualPictures`
    // pictures held, as a library made from it would list it, against the
    // host's `expectedSteps` steps: each step naming a picture it does not
    // hold, then the listed steps in turn and their number.
    void ListedProgram(const Block1K &expected, int expectedSteps, const Block1K &actual,
                       int actualSteps, int actualPictures);

    // The record and counts first, then pictures, names and steps, each in
    // ascending order.
    std::vector<Difference> Differences() const;
    bool Empty() const { return differences_.empty(); }

private:
    std::vector<Difference> differences_;
};

}  // namespace korvex
