// The picture library file (".Dat"): 995192 bytes, little-endian.
//   0       2       picture count
//   2       993652  121 picture records
//   993654  2       program length
//   993656  1536    512 program entries
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

#include "model/count_fault.h"
#include "model/library.h"

namespace korvex {

// The layout follows from the sizes: a 16-bit count before each table.
constexpr long kCountSize = 2;
constexpr long kPictureRecordSize = sizeof(PictureRecord);
constexpr long kPictureRecordsOffset = kCountSize;
constexpr long kProgramLengthOffset = kPictureRecordsOffset + kMaxPictures * kPictureRecordSize;
constexpr long kProgramEntriesOffset = kProgramLengthOffset + kCountSize;
constexpr long kLibraryFileSize =
    kProgramEntriesOffset + kMaxProgram * static_cast<long>(sizeof(ProgramEntry));
static_assert(kPictureRecordSize == 8212, "picture record layout");
static_assert(kProgramLengthOffset == 993654 && kProgramEntriesOffset == 993656,
              "library file offsets");
static_assert(kLibraryFileSize == 995192, "library file size");

struct LibraryData {
    PictureTable pictures{};
    ProgramTable program{};
    int pictureCount = 0;   // as listed: clamped to 0..121
    int programLength = 0;  // as listed: clamped to 0..512
    // Set by a load when a count in the file was above 121 or 512 and was
    // cut to the size of the table (a negative count lists nothing and is
    // not reported here).
    bool countsClamped = false;
    // The two count fields as the file stores them, set by a load.
    uint16_t storedPictureCount = 0;
    uint16_t storedProgramLength = 0;
};

// The first count field of a loaded library that no library of this
// program can hold, with its value as stored: a picture count above 121 or
// a program length above 512 (a set top bit included, which the window
// reads as a negative count that lists nothing).
std::optional<CountFault> FindDamagedCount(const LibraryData &data);

// Reads the file into `data`. On failure returns false and sets `error` to
// the text to show ("Read beyond end of file" for a short file, "Not a
// regular file" for a device, FIFO or socket, which is never opened for
// reading, the system's reason otherwise); `data` then holds whatever was
// read before the failure.
bool LoadLibraryFile(const std::string &path, LibraryData &data, std::string &error);

// Writes the whole file through a temporary file in the same folder that
// replaces `path` only once complete and flushed. On failure the old file is
// intact and `error` holds the text to show ("Disk full" for a short write
// or a write past the process's file-size limit). Only a regular file or
// nothing is ever replaced: anything else at `path` is refused ("Not a
// regular file"). Temporary files that earlier saves of this library left
// behind (their process no longer exists) are removed.
// An existing file the user may not write is refused ("File access denied")
// and left alone. When the folder does not let the temporary file be made
// or take the place of the existing file, but that file is writable, the
// file is rewritten in place; a failure then may leave it cut short.
bool SaveLibraryFile(const std::string &path, const LibraryData &data, std::string &error);

// The file image of `data` (995192 bytes), and its parse. ParseLibraryImage
// reads at most `size` bytes and returns false when they are too few.
std::string SerialiseLibrary(const LibraryData &data);
bool ParseLibraryImage(const uint8_t *bytes, size_t size, LibraryData &data);
// The end of a load, the same on every system: parses the `got` bytes read
// of `image`, then fails with `readFailure` when the read failed (non-empty)
// or with "Read beyond end of file" when the file was too short.
bool TakeLibraryImage(const std::string &image, size_t got, const std::string &readFailure,
                      LibraryData &data, std::string &error);

// Stores `gbk` (cut to 18 bytes) as the record's name: the length byte and
// the name bytes; leftovers after the new name are kept.
void StoreName(PictureRecord &record, const std::string &gbk);
// The record's name bytes (length byte clamped to 18).
std::string NameOf(const PictureRecord &record);

// Test seam: replaces the write(2) call of SaveLibraryFile (an empty
// function restores it), so a test can make a write come up short.
using LibraryWriteFn = std::function<ssize_t(int fd, const void *buf, size_t n)>;
void SetLibraryWriteForTest(LibraryWriteFn fn);

}  // namespace korvex
