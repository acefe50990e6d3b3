// Opening a file that comes from the operator's disk for reading, when it is
// a regular file and nothing else. A FIFO would block the open or the first
// read until some other process writes, and a device reads endlessly or has
// effects of its own, so neither is ever opened.
#pragma once

#include <string>

namespace korvex {

// A read-only descriptor (close-on-exec, blocking reads) for `path` when
// it names a regular file, symbolic links followed. Otherwise -1, with
// `notRegular` set when something other than a regular file is there
// (errno then EISDIR for a folder) and errno giving the reason when the
// name could not be looked up or opened.
int OpenRegularFile(const std::string &path, bool &notRegular);

}  // namespace korvex
