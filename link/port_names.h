// Which device a port number names on Linux, decided afresh at every
// ComInitial. The link library opens only what this says, and the host side
// names, lists and diagnoses the ports through the same rule, so the two
// can never disagree. It keeps no state between calls.
//
// Port n is the device in $KORVEX_COM<n> when that variable is set and not
// empty. Otherwise it is the n-th of the machine's serial devices, in an
// order that does not depend on the order they were plugged in:
//   1. USB serial adapters that udev names in /dev/serial/by-id/, sorted by
//      that name, so an adapter keeps its number across replugging whatever
//      ttyUSB number the kernel gives it;
//   2. other USB serial and ACM devices (no by-id name), by kernel name;
//   3. the platform's UARTs: ttys whose driver reports a known UART type
//      (/sys/class/tty/<name>/type not 0), by kernel name.
// The kernel console is never in that list, and a port whose device is the
// console is refused, also when a KORVEX_COM<n> names it: the library would
// otherwise set the console raw and write frames onto it.
//
// On Windows (port_names_win.cpp) port n is always \\.\COMn, as the
// library opens it; the list is the registry's serial map in COM order,
// each with the device manager's name for it, and no port is a console.
//
// `root` is empty on a real machine. Tests pass a folder that holds a fake
// dev/, sys/ and proc/cmdline, so that every rule runs without hardware.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvex::link {

struct SerialDevice {
    std::string name;     // kernel name: "ttyUSB0"
    std::string path;     // its node: "/dev/ttyUSB0" (under the root)
    std::string byId;     // "/dev/serial/by-id/usb-..." (under the root), or empty
    bool usb = false;     // a USB serial adapter or ACM device
    std::string usbId;    // vendor:product, "0403:6001", or empty
    std::string serial;   // the USB serial number, or empty
    std::string product;  // the USB manufacturer and product strings, or empty
};

// The machine's serial devices in port order (port n is entry n - 1),
// without the kernel console.
std::vector<SerialDevice> ListSerialDevices(const std::string &root = std::string());

struct PortDevice {
    std::string path;           // what the port opens; empty: no device for it
    bool fromVariable = false;  // `path` came from KORVEX_COM<n>
    bool console = false;       // `path` is the kernel console: never opened
    SerialDevice device;        // what is known of it (name empty when unknown)
};

// The device of port n (1-based). The second form takes the list from
// ListSerialDevices, and also tells what is known of a device that a
// KORVEX_COM<n> names (its by-id name and USB ids when it is a listed one).
PortDevice ResolvePort(int32_t port, const std::string &root = std::string());
PortDevice ResolvePort(int32_t port, const std::vector<SerialDevice> &listed,
                       const std::string &root);

// Whether `path` (after symlinks) is the kernel console: a device listed in
// sys/class/tty/console/active or as console= on proc/cmdline, or
// /dev/console itself, compared by device number. Looks, never opens.
bool IsKernelConsole(const std::string &path, const std::string &root = std::string());

// "KORVEX_COM<n>".
std::string PortVariable(int32_t port);
// Whether a KORVEX_COM<n> names port n's device on this system: on Linux
// it does; on Windows port n is always COMn.
bool PortVariablesApply();
// This system's rule above in the operator's words, for the CLI's help:
// what --port N names.
const char *PortRuleText();

}  // namespace korvex::link
