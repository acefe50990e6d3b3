// The library file as the window and every korvex-cli command open and save
// it, with the texts they report.
#pragma once

#include <string>

#include "model/library_file.h"

namespace korvex {

enum class LibraryOpening {
    Loaded,
    Missing,     // no file, and that is allowed: an empty library
    Unreadable,  // the file could not be read; nothing is listed
    Damaged,     // a count no library can hold (read whole, see FindDamagedCount)
};

struct OpenedLibrary {
    LibraryOpening opening = LibraryOpening::Loaded;
    std::string reason;   // Unreadable: the reader's reason, as the window shows it
    std::string message;  // Unreadable or Damaged: the refusal as korvex-cli prints it
};

// Reads the library file at `path` into `data`. With `missingIsEmpty` a
// missing file leaves an empty library (both counts 0); otherwise it is
// Unreadable. An unreadable file keeps in `data` what was read, with both
// counts 0 so that nothing of it is listed.
OpenedLibrary OpenLibraryFile(const std::string &path, LibraryData &data, bool missingIsEmpty);

struct SavedLibrary {
    bool ok = true;
    std::string reason;   // the writer's reason, as the window shows it
    std::string message;  // the failure as korvex-cli prints it
};

// Writes `data` to `path` through a temporary file (SaveLibraryFile),
// making the user's data folder on a first save. On failure the old file is
// intact.
SavedLibrary SaveLibraryData(const std::string &path, const LibraryData &data);

}  // namespace korvex
