// The other programs that have a device open, as far as the system tells:
// every process whose open files this user may see (/proc/<pid>/fd), and
// every lock on the device (/proc/locks, which names the owner's process
// even where its files are hidden).
#pragma once

#include <string>
#include <vector>

namespace korvex {

struct DeviceHolder {
    int pid = 0;
    std::string command;  // its command line, shortened; empty when hidden
    bool locked = false;  // holds a lock on the device (flock or fcntl)
};

// The holders of the device at `path` (after symlinks) other than this
// process, the lock holders first. Empty when the device does not exist.
std::vector<DeviceHolder> DeviceHolders(const std::string &path);

// "PID 1234 (minicom -D /dev/ttyUSB0)", holders separated by ", ".
std::string DescribeHolders(const std::vector<DeviceHolder> &holders);

}  // namespace korvex
