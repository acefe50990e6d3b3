// korvex-cli send-pictures and send-program: the desktop program's uploads,
// fed from a library file.
#include <cstdio>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "app/upload.h"

namespace korvex::cli {

namespace {

const char kPicturesHelp[] =
    "usage: korvex-cli send-pictures [--library FILE] [--port N | --device PATH]\n"
    "\n"
    "Sends every picture of the library file (four blocks each), both name\n"
    "tables and the new picture count, then restarts the controller. A\n"
    "progress bar is drawn on stderr when it is a terminal.\n"
    "\n"
    "  --library FILE  library file; default korvex.Dat beside korvex-cli\n"
    "  --port N        serial port 1..8 (KORVEX_COM<N>, else /dev/ttyS<N-1>); default 1\n"
    "  --device PATH   use this serial device\n";

const char kProgramHelp[] =
    "usage: korvex-cli send-program [--library FILE] [--port N | --device PATH]\n"
    "\n"
    "Sends the program of the library file and its length, then restarts the\n"
    "controller.\n"
    "\n"
    "  --library FILE  library file; default korvex.Dat beside korvex-cli\n"
    "  --port N        serial port 1..8 (KORVEX_COM<N>, else /dev/ttyS<N-1>); default 1\n"
    "  --device PATH   use this serial device\n";

std::vector<OptionSpec> SendOptions()
{
    std::vector<OptionSpec> specs = kPortOptions;
    specs.push_back(kLibraryOption);
    return specs;
}

// Common start of both: options, port, library. Returns -1 to go on.
int Prepare(int argc, char **argv, const char *command, const char *help, int &port,
            std::unique_ptr<LibraryData> &data)
{
    ParsedArgs args;
    if (!ParseArgs(argc, argv, SendOptions(), command, args))
        return kExitUsage;
    if (args.help) {
        std::fputs(help, stdout);
        return kExitOk;
    }
    if (!ChoosePort(args, port))
        return kExitUsage;
    data = std::make_unique<LibraryData>();
    if (!LoadLibrary(LibraryPath(args), *data))
        return kExitUsage;
    return -1;
}

}  // namespace

int RunSendPictures(int argc, char **argv)
{
    int port = 1;
    std::unique_ptr<LibraryData> data;
    const int early = Prepare(argc, argv, "send-pictures", kPicturesHelp, port, data);
    if (early >= 0)
        return early;

    const int n = data->pictureCount;
    int reached = 0;
    UploadResult result;
    {
        ProgressBar bar("sending pictures", 4 * n);
        bar.Set(0);
        result = SendPictures(data->pictures, n, port, [&](int position) {
            reached = position;
            bar.Set(position);
        });
    }
    if (!result.ok) {
        if (reached == 0)
            Error("sending pictures failed: " + WhyExchangeFailed(port));
        else
            Error("sending pictures failed at block " + std::to_string(reached) + " of " +
                  std::to_string(4 * n) + " (picture " + std::to_string((reached - 1) / 4 + 1) +
                  "): the controller stopped answering on " + DescribePort(port));
        return kExitExchange;
    }
    std::printf("sent %d picture%s (%d blocks) and both name tables; the controller restarts\n", n,
                n == 1 ? "" : "s", 4 * n);
    return kExitOk;
}

int RunSendProgram(int argc, char **argv)
{
    int port = 1;
    std::unique_ptr<LibraryData> data;
    const int early = Prepare(argc, argv, "send-program", kProgramHelp, port, data);
    if (early >= 0)
        return early;

    const int m = ListedProgramLength(*data);
    if (m != data->programLength)
        Error("warning: " + std::to_string(data->programLength - m) +
              " program step(s) name pictures the library does not hold and are not listed; "
              "sending the first " +
              std::to_string(m) + " entries, as the desktop program does");
    const UploadResult result = SendProgram(data->program, m, port);
    if (!result.ok) {
        Error("sending the program failed: " + WhyExchangeFailed(port));
        return kExitExchange;
    }
    std::printf("sent a program of %d step%s; the controller restarts\n", m, m == 1 ? "" : "s");
    return kExitOk;
}

}  // namespace korvex::cli
