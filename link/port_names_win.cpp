// Port number to device on Windows: port n is COMn, as the link library
// opens it. The machine's ports come from the registry's serial map, with
// the name the device manager shows for each; nothing is opened to find
// them, so listing the ports disturbs no device.
#include "link/port_names.h"

#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>

namespace korvex::link {

namespace {

std::string Utf8(const wchar_t *text, size_t length)
{
    if (length == 0)
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), n, nullptr,
                        nullptr);
    return out;
}

// A registry string as stored, without the terminating zeros.
std::string StringValue(const wchar_t *data, DWORD bytes)
{
    size_t length = bytes / sizeof(wchar_t);
    while (length > 0 && data[length - 1] == L'\0')
        --length;
    return Utf8(data, length);
}

// The number of "COMn" (case ignored); 0 for any other name.
int ComNumber(const std::string &name)
{
    if (name.size() < 4 || name.size() > 6 || _strnicmp(name.c_str(), "COM", 3) != 0)
        return 0;
    if (name.find_first_not_of("0123456789", 3) != std::string::npos || name[3] == '0')
        return 0;
    return std::atoi(name.c_str() + 3);
}

std::string DevicePath(int number)
{
    return "\\\\.\\COM" + std::to_string(number);
}

// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: one value per serial device the
// system has, its data the port name ("COM3").
std::vector<std::string> MappedPorts()
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t valueName[256];
        DWORD nameLength = 256;
        wchar_t data[64];
        DWORD bytes = sizeof data;
        DWORD type = 0;
        const LONG r = RegEnumValueW(key, i, valueName, &nameLength, nullptr, &type,
                                     reinterpret_cast<BYTE *>(data), &bytes);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r == ERROR_SUCCESS && type == REG_SZ)
            names.push_back(StringValue(data, bytes));
    }
    RegCloseKey(key);
    return names;
}

// "VID_1A86&PID_7523" in a hardware id, as "1a86:7523".
std::string UsbIds(const std::string &hardwareId)
{
    const size_t vid = hardwareId.find("VID_");
    const size_t pid = hardwareId.find("PID_");
    if (vid == std::string::npos || pid == std::string::npos || vid + 8 > hardwareId.size() ||
        pid + 8 > hardwareId.size())
        return std::string();
    std::string ids = hardwareId.substr(vid + 4, 4) + ":" + hardwareId.substr(pid + 4, 4);
    std::transform(ids.begin(), ids.end(), ids.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ids;
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA &info, DWORD property)
{
    wchar_t data[512];
    DWORD type = 0, bytes = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(
            set, &info, property, &type, reinterpret_cast<BYTE *>(data), sizeof data - 2, &bytes) ||
        (type != REG_SZ && type != REG_MULTI_SZ))
        return std::string();
    data[bytes / sizeof(wchar_t)] = L'\0';
    return Utf8(data, std::wcslen(data));  // the first string of a list
}

// What the device manager knows of the ports it has: the friendly name
// ("USB-SERIAL CH340 (COM3)") and, for USB adapters, the ids.
void AddDeviceNames(std::vector<SerialDevice> &devices)
{
    const HDEVINFO set =
        SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        const HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        wchar_t data[64];
        DWORD bytes = sizeof data, type = 0;
        const bool named =
            RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE *>(data),
                             &bytes) == ERROR_SUCCESS &&
            type == REG_SZ;
        RegCloseKey(key);
        if (!named)
            continue;
        const int number = ComNumber(StringValue(data, bytes));
        for (SerialDevice &d : devices) {
            if (number == 0 || ComNumber(d.name) != number)
                continue;
            d.product = DeviceProperty(set, info, SPDRP_FRIENDLYNAME);
            const std::string hardwareId = DeviceProperty(set, info, SPDRP_HARDWAREID);
            d.usb = hardwareId.compare(0, 4, "USB\\") == 0 ||
                    hardwareId.find("VID_") != std::string::npos;
            if (d.usb)
                d.usbId = UsbIds(hardwareId);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
}

}  // namespace

std::string PortVariable(int32_t port)
{
    return "KORVEX_COM" + std::to_string(port);
}

bool PortVariablesApply()
{
    return false;
}

const char *PortRuleText()
{
    return "COMN, whatever adapter Windows gives that number (the device manager\n"
           "shows it and can change it).\n";
}

bool IsKernelConsole(const std::string &, const std::string &)
{
    return false;  // a COM port is never the system's console on Windows
}

// The ports the system has, by number; `root` is a Linux test seam only.
std::vector<SerialDevice> ListSerialDevices(const std::string &)
{
    std::vector<SerialDevice> devices;
    for (const std::string &name : MappedPorts()) {
        const int number = ComNumber(name);
        if (number == 0)
            continue;
        SerialDevice d;
        d.name = "COM" + std::to_string(number);
        d.path = DevicePath(number);
        devices.push_back(d);
    }
    std::sort(devices.begin(), devices.end(), [](const SerialDevice &a, const SerialDevice &b) {
        return ComNumber(a.name) < ComNumber(b.name);
    });
    devices.erase(
        std::unique(devices.begin(), devices.end(),
                    [](const SerialDevice &a, const SerialDevice &b) { return a.name == b.name; }),
        devices.end());
    AddDeviceNames(devices);
    return devices;
}

PortDevice ResolvePort(int32_t port, const std::string &root)
{
    return ResolvePort(port, ListSerialDevices(root), root);
}

// Port n is COMn whether or not the system has it; `device` is filled when
// it does (its name empty otherwise).
PortDevice ResolvePort(int32_t port, const std::vector<SerialDevice> &listed, const std::string &)
{
    PortDevice d;
    if (port < 1)
        return d;
    d.path = DevicePath(port);
    for (const SerialDevice &s : listed) {
        if (ComNumber(s.name) == port)
            d.device = s;
    }
    return d;
}

}  // namespace korvex::link
