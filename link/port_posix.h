// Knobs of the POSIX serial port that only tests turn.
#pragma once

#include <string>

namespace korvex::link {

// The slack added to a frame's line time to bound its write and drain
// (2000 ms unless changed). Lets a test prove the bound without waiting
// seconds; returns the previous value.
int SerialSetWriteSlackMs(int ms);

// The folder in which the port naming rule (link/port_names.h) looks for
// dev/, sys/ and proc/cmdline: "" (the machine itself) unless changed, so
// that a test can prove what a port opens on a fake tree. Returns the
// previous value.
std::string SerialSetDeviceRoot(const std::string &root);

}  // namespace korvex::link
