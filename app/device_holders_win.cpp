// Windows does not tell which program holds a COM port (only a kernel
// debugger's handle search would), so the holders are never known there.
#include "app/device_holders.h"

namespace korvex {

std::vector<DeviceHolder> DeviceHolders(const std::string &)
{
    return {};
}

}  // namespace korvex
