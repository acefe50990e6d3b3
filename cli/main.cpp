// korvex-cli: programs controller cards from a prepared library file, on
// the same model, file and upload code as the desktop program.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"

namespace {

struct Command {
    const char *name;
    int (*run)(int, char **);
    const char *summary;
};

const Command kCommands[] = {
    {"info", korvex::cli::RunInfo, "check the connection and show the controller's settings"},
    {"send-pictures", korvex::cli::RunSendPictures, "send the library's pictures and names"},
    {"send-program", korvex::cli::RunSendProgram, "send the library's program"},
    {"settings", korvex::cli::RunSettings, "store or try display settings"},
    {"set-time", korvex::cli::RunSetTime, "set the controller's clock from this computer"},
    {"list", korvex::cli::RunList, "list the pictures and program steps of a library file"},
    {"capture", korvex::cli::RunCapture, "make a picture from an image file"},
};

void Usage(FILE *out)
{
    std::fprintf(out, "usage: korvex-cli <command> [options]\n\ncommands:\n");
    for (const Command &c : kCommands)
        std::fprintf(out, "  %-14s %s\n", c.name, c.summary);
    std::fprintf(out, "\n'korvex-cli <command> --help' describes a command's options.\n"
                      "Exit status: 0 success, 1 the controller exchange failed, 2 bad usage or "
                      "a bad file.\n");
}

}  // namespace

int main(int argc, char **argv)
{
    std::signal(SIGXFSZ, SIG_IGN);  // a write past a file-size limit fails as "Disk full"
    if (argc < 2) {
        Usage(stderr);
        return korvex::cli::kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        Usage(stdout);
        return korvex::cli::kExitOk;
    }
    for (const Command &c : kCommands) {
        if (name == c.name)
            return c.run(argc - 2, argv + 2);
    }
    korvex::cli::Error("unknown command '" + name + "'; try 'korvex-cli --help'");
    return korvex::cli::kExitUsage;
}
