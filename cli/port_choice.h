// The port a korvex-cli command talks through, and plain words for why an
// exchange on it failed.
#pragma once

#include <string>

#include "cli/options.h"

namespace korvex::cli {

// The port number chosen by --port/--device (1 without either). --device
// aims that port number at the given path for the library's own mapping.
// False (message printed) for a bad value.
bool ChoosePort(const ParsedArgs &args, int &port);
// "port N (PATH)" as the library maps it.
std::string DescribePort(int port);
// Why ComInitial failed, in plain words.
std::string OpenFailure(int port);
// After a failed exchange: whether the port could not be opened (the
// reason) or the controller did not answer. Opens and closes the port
// once more to tell, sending nothing.
std::string WhyExchangeFailed(int port);
// After opening the port and reading the configuration record: true when
// both worked; otherwise prints why and returns false.
bool RecordWasRead(bool opened, bool read, int port);

}  // namespace korvex::cli
