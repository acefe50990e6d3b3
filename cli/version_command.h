// korvex-cli version (and --version), and the lines of 'info' that tell
// about this side of the line.
#pragma once

namespace korvex::cli {

// "korvex-cli <version>" on stdout.
void PrintVersion();

// The host's version and the library file commands use when given no
// --library, as 'info' shows them.
void PrintHostLines();

}  // namespace korvex::cli
