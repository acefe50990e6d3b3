// Port choice and failure wording for korvex-cli.
#include "cli/port_choice.h"

#include <QByteArray>
#include <cstdlib>

#include "app/port_diagnosis.h"
#include "cli/cli.h"
#include "link/port_names.h"

namespace korvex::cli {

namespace {

std::string g_device;  // the path given with --device, if any

}  // namespace

bool ChoosePort(const ParsedArgs &args, int &port)
{
    port = 1;
    if (args.Has("port") && !ParseInt(args.Get("port"), 1, 8, port)) {
        Error("--port takes a port number from 1 to 8, not '" + args.Get("port") + "'");
        return false;
    }
    if (args.Has("device")) {
        g_device = args.Get("device");
        if (g_device.empty()) {
            Error("--device needs the path of a serial device");
            return false;
        }
        if (!link::PortVariablesApply()) {
            // The link library would open COM<port> whatever was named.
            Error("--device is not available here: choose the port with --port N (COMN)");
            return false;
        }
        qputenv(link::PortVariable(port).c_str(), QByteArray::fromStdString(g_device));
    }
    EnableExchangeRecord();
    return true;
}

std::string DescribePort(int port)
{
    if (!g_device.empty())
        return g_device;
    const std::string path = link::ResolvePort(port).path;
    return "port " + std::to_string(port) + (path.empty() ? "" : " (" + path + ")");
}

bool RecordWasRead(bool opened, bool read, int port)
{
    if (opened && read)
        return true;
    Error(WhyExchangeFailed(port));
    return false;
}

std::string WhyExchangeFailed(int port)
{
    return DiagnoseExchange(port).Text(DescribePort(port));
}

}  // namespace korvex::cli
