// What each port names and the state its device is in, found by looking
// only: nothing is opened (opening a USB adapter raises its modem lines,
// which resets many boards), so listing the ports disturbs no device.
// korvex-cli ports lists this; the window's port list shows the devices
// in its tooltips; the diagnosis of a failed exchange builds on it.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "app/device_holders.h"
#include "link/port_names.h"

namespace korvex {

enum class PortState {
    NoDevice,      // no device for this port number
    Missing,       // the device it names does not exist
    Console,       // the kernel console: never opened
    NotSerial,     // not a serial device
    NoPermission,  // this user may not open it
    InUse,         // another program holds a lock on it
    Free,          // nothing stands in the way (others may have it open, unlocked)
};

struct PortSurvey {
    int port = 0;
    link::PortDevice where;
    PortState state = PortState::NoDevice;
    std::vector<DeviceHolder> holders;  // other programs that have it open
    std::string group;                  // the group that owns the device node
    unsigned mode = 0;                  // its permission bits
    bool groupMayUse = false;           // that group may read and write it
    bool memberFromNextLogin = false;   // the user is in the group, not yet in this login
};

// The state of port `port`; `listed` as ListSerialDevices(root) gives it.
PortSurvey SurveyPort(int port, const std::vector<link::SerialDevice> &listed,
                      const std::string &root = std::string());
// Ports 1..count.
std::vector<PortSurvey> SurveyPorts(int count, const std::string &root = std::string());

// The device of port `port` in Chinese, one fact a line: its path (and the
// variable that named it), by-id name, USB ids with the serial number and
// the maker's strings; or that no device is attached. The tooltip of a
// port list item.
QString DeviceTextZh(int port, const link::PortDevice &where);

}  // namespace korvex
