// Port choice and failure wording for korvex-cli.
#include "cli/port_choice.h"

#include <cstdlib>
#include <sys/stat.h>

#include "cli/cli.h"
#include "link/korvex_api.h"
#include "link/port_names.h"
#include "model/line.h"

namespace korvex::cli {

bool ChoosePort(const ParsedArgs &args, int &port)
{
    port = 1;
    if (args.Has("port") && !ParseInt(args.Get("port"), 1, 8, port)) {
        Error("--port takes a port number from 1 to 8, not '" + args.Get("port") + "'");
        return false;
    }
    if (args.Has("device")) {
        const std::string path = args.Get("device");
        if (path.empty()) {
            Error("--device needs the path of a serial device");
            return false;
        }
        const std::string var = "KORVEX_COM" + std::to_string(port);
        setenv(var.c_str(), path.c_str(), 1);
    }
    return true;
}

namespace {

std::string DevicePath(int port)
{
    char path[4096];
    link::PortDevicePath(port, path, sizeof path);
    return path;
}

}  // namespace

std::string DescribePort(int port)
{
    return "port " + std::to_string(port) + " (" + DevicePath(port) + ")";
}

std::string OpenFailure(int port)
{
    const std::string path = DevicePath(port);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return "cannot open " + DescribePort(port) + ": there is no such device";
    if (!S_ISCHR(st.st_mode))
        return "cannot open " + DescribePort(port) + ": it is not a serial device";
    return "cannot open " + DescribePort(port) + ": it is in use or cannot be set up";
}

bool RecordWasRead(bool opened, bool read, int port)
{
    if (!opened) {
        Error(OpenFailure(port));
        return false;
    }
    if (!read) {
        Error("no controller answered on " + DescribePort(port));
        return false;
    }
    return true;
}

std::string WhyExchangeFailed(int port)
{
    const bool opens = ComInitial(port, kBaud) != 0;
    ComClose();
    if (!opens)
        return OpenFailure(port);
    return "the controller did not answer on " + DescribePort(port);
}

}  // namespace korvex::cli
