// The port a korvex-cli command talks through, and plain words for why an
// exchange on it failed.
#pragma once

#include <string>

#include "cli/options.h"

namespace korvex::cli {

// The port number chosen by --port/--device (1 without either). --device
// aims that port number at the given path for the library's own mapping.
// Also has the link library record each connection, so that a failure can
// be told (app/port_diagnosis.h). False (message printed) for a bad value.
bool ChoosePort(const ParsedArgs &args, int &port);
// The device as the user named it: the path given with --device, else
// "port N (PATH)", or "port N" when no device is there for it.
std::string DescribePort(int port);
// After ComInitial or an exchange returned 0: the device and the cause,
// as one sentence. Opens nothing.
std::string WhyExchangeFailed(int port);
// After opening the port and reading the configuration record: true when
// both worked; otherwise prints why and returns false.
bool RecordWasRead(bool opened, bool read, int port);

}  // namespace korvex::cli
