// The library file a korvex-cli command reads or writes.
#pragma once

#include <string>

#include "cli/options.h"
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

}  // namespace korvex::cli
