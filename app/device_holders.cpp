// The words for a device's holders, the same on every system; finding them
// is device_holders_posix.cpp or device_holders_win.cpp.
#include "app/device_holders.h"

namespace korvex {

std::string DescribeHolders(const std::vector<DeviceHolder> &holders)
{
    std::string text;
    for (const DeviceHolder &h : holders) {
        if (!text.empty())
            text += ", ";
        text += "PID " + std::to_string(h.pid);
        if (!h.command.empty())
            text += " (" + h.command + ")";
    }
    return text;
}

}  // namespace korvex
