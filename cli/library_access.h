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
// Loads the library file; prints the reason and returns false on failure.
// A missing file is an error here, and so is a damaged count (above 121
// pictures or 512 steps, a set top bit included): sending an empty or wrong
// library by mistake would wipe the controller.
bool LoadLibrary(const std::string &path, LibraryData &data);

// LoadLibrary, then the library as the window holds it after loading the
// file (its steps listed by the same rule); `data` keeps what the file
// gives. Null, the reason printed, when the file cannot be used.
std::unique_ptr<LibraryDocument> OpenLibrary(const std::string &path, LibraryData &data);

}  // namespace korvex::cli
