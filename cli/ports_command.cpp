// korvex-cli ports: what " Com1".." Com8" name on this machine and whether
// each can be used, as a table or as JSON. Looks only: no device is opened.
#include <cstdio>
#include <string>

#include "app/port_survey.h"
#include "cli/cli.h"
#include "cli/commands.h"

namespace korvex::cli {

namespace {

constexpr int kListedPorts = 8;  // the window's port list

const char *StateWord(PortState state)
{
    switch (state) {
    case PortState::NoDevice: return "no-device";
    case PortState::Missing: return "missing";
    case PortState::Console: return "console";
    case PortState::NotSerial: return "not-serial";
    case PortState::NoPermission: return "no-permission";
    case PortState::InUse: return "in-use";
    case PortState::Free: break;
    }
    return "free";
}

std::string StateText(const PortSurvey &s)
{
    switch (s.state) {
    case PortState::NoDevice: return "no device attached";
    case PortState::Missing: return "missing";
    case PortState::Console: return "the kernel console (never opened)";
    case PortState::NotSerial: return "not a serial device";
    case PortState::NoPermission:
        return "no permission (group " + s.group + (s.groupMayUse ? "" : ", owner only") + ")";
    case PortState::InUse: return "in use by " + DescribeHolders(s.holders);
    case PortState::Free: break;
    }
    return s.holders.empty() ? "free" : "free, also open in " + DescribeHolders(s.holders);
}

std::string Json(const std::string &text)
{
    std::string out = "\"";
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", u);
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonOrNull(const std::string &text)
{
    return text.empty() ? "null" : Json(text);
}

std::string Label(int port)
{
    return " Com" + std::to_string(port);
}

void PrintJson(const std::vector<PortSurvey> &ports)
{
    std::printf("[");
    for (size_t i = 0; i < ports.size(); ++i) {
        const PortSurvey &s = ports[i];
        const link::SerialDevice &d = s.where.device;
        std::string holders;
        for (const DeviceHolder &h : s.holders)
            holders += std::string(holders.empty() ? "" : ", ") +
                       "{\"pid\": " + std::to_string(h.pid) +
                       ", \"command\": " + JsonOrNull(h.command) +
                       ", \"locked\": " + (h.locked ? "true" : "false") + "}";
        std::printf("%s\n  {\"port\": %d, \"label\": %s, \"device\": %s, \"variable\": %s, "
                    "\"by_id\": %s, \"usb_id\": %s, \"serial\": %s, \"product\": %s, "
                    "\"state\": \"%s\", \"holders\": [%s], \"group\": %s}",
                    i ? "," : "", s.port, Json(Label(s.port)).c_str(),
                    JsonOrNull(s.where.path).c_str(),
                    s.where.fromVariable ? Json(link::PortVariable(s.port)).c_str() : "null",
                    JsonOrNull(d.byId).c_str(), JsonOrNull(d.usbId).c_str(),
                    JsonOrNull(d.serial).c_str(), JsonOrNull(d.product).c_str(), StateWord(s.state),
                    holders.c_str(), JsonOrNull(s.group).c_str());
    }
    std::printf("\n]\n");
}

void PrintTable(const std::vector<PortSurvey> &ports)
{
    for (const PortSurvey &s : ports) {
        const std::string device = s.where.path.empty() ? "-" : s.where.path;
        std::printf("%s  %-24s  %s\n", Label(s.port).c_str(), device.c_str(), StateText(s).c_str());
        const link::SerialDevice &d = s.where.device;
        if (s.where.fromVariable)
            std::printf("       named by $%s\n", link::PortVariable(s.port).c_str());
        if (!d.byId.empty())
            std::printf("       by-id %s\n", d.byId.c_str());
        if (!d.usbId.empty()) {
            std::string usb = "USB " + d.usbId;
            if (!d.serial.empty())
                usb += ", serial " + d.serial;
            if (!d.product.empty())
                usb += ", " + d.product;
            std::printf("       %s\n", usb.c_str());
        }
    }
}

int RunPorts(const Invocation &inv)
{
    const std::vector<PortSurvey> ports = SurveyPorts(kListedPorts);
    if (inv.args.Has("json"))
        PrintJson(ports);
    else
        PrintTable(ports);
    return kExitOk;
}

}  // namespace

const CommandDecl kPortsCommand = {
    "ports",
    "list the serial ports and the devices they name",
    nullptr,
    "Lists \" Com1\" to \" Com8\" as the desktop program's port list and the\n"
    "port option name them (see 'ports' in 'korvex-cli --help'): each port's\n"
    "device, what the system tells of it (on Linux its /dev/serial/by-id/ name,\n"
    "USB vendor:product, serial number and maker; on Windows the adapter's\n"
    "name), and its state: free, in use (by PID and command, where the system\n"
    "tells), no permission (group), missing, or no device attached. Nothing is\n"
    "opened, so no device is disturbed.\n",
    {
        {"json", nullptr, "print a JSON array instead of the table"},
    },
    /*usesPort=*/false,
    /*usesLibrary=*/false,
    RunPorts,
};

}  // namespace korvex::cli
