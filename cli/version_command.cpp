#include "cli/version_command.h"

#include <cstdio>

#include "cli/cli_common.h"
#include "app/file_locations.h"

namespace korvex::cli {

namespace {

const char kHelp[] = "usage: korvex-cli version\n"
                     "\n"
                     "Prints the version of korvex-cli (also: korvex-cli --version).\n";

}  // namespace

int RunVersion(int argc, char **argv)
{
    ParsedArgs args;
    if (!ParseArgs(argc, argv, {}, "version", args))
        return kExitUsage;
    if (args.help)
        std::fputs(kHelp, stdout);
    else
        std::printf("korvex-cli %s\n", KORVEX_VERSION);
    return kExitOk;
}

void PrintHostLines()
{
    std::printf("host:            korvex-cli %s\n", KORVEX_VERSION);
    std::printf("default library: %s\n", CompanionFiles().library.toLocal8Bit().constData());
}

}  // namespace korvex::cli
