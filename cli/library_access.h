// The library file a korvex-cli command reads or writes.
#pragma once

#include <memory>
#include <string>

#include "cli/options.h"
#include "model/library_document.h"
#include "model/library_file.h"

namespace korvex::cli {

// The --library file, or the desktop program's own library
// (app/file_locations.h: beside it, or in the user's data folder).
std::string LibraryPath(const ParsedArgs &args);
// Loads the library file (app/library_store.h); prints the reason and
// returns false on failure. A missing file is an error unless
// `missingIsEmpty`, and a damaged count (above 121 pictures or 512 steps, a
// set top bit included) always is: sending an empty or wrong library by
// mistake would wipe the controller.
bool LoadLibrary(const std::string &path, LibraryData &data, bool missingIsEmpty = false);

// LoadLibrary, then the library as the window holds it after loading the
// file (its steps listed by the same rule); `data` keeps what the file
// gives. Null, the reason printed, when the file cannot be used. With
// `missingIsEmpty` a file that does not exist gives an empty library (for
// a command that creates one).
std::unique_ptr<LibraryDocument> OpenLibrary(const std::string &path, LibraryData &data,
                                             bool missingIsEmpty = false);

// The window's Save: stores the document in `data` and writes the file as
// SaveData does.
bool SaveLibrary(const std::string &path, const LibraryDocument &doc, LibraryData &data);
// Writes the file through a temporary file, making the user's data folder
// on a first save (app/library_store.h). Prints the reason and returns
// false on failure; the old file is then intact.
bool SaveData(const std::string &path, const LibraryData &data);

// A picture name given in UTF-8 as the GBK bytes the library stores, judged
// as the dialogs judge it (app/picture_name.h). Prints the reason and
// returns false when refused.
bool NameToGbk(const std::string &utf8, std::string &gbk);

}  // namespace korvex::cli
