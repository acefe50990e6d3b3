// korvex-cli version, and what 'info' says of this side of the line.
#include "cli/version_command.h"

#include <cstdio>

#include "app/file_locations.h"
#include "cli/cli.h"
#include "cli/commands.h"

namespace korvex::cli {

void PrintVersion()
{
    std::printf("korvex-cli %s\n", KORVEX_VERSION);
}

void PrintHostLines()
{
    std::printf("host:            korvex-cli %s\n", KORVEX_VERSION);
    std::printf("default library: %s\n", DefaultLibrary().toLocal8Bit().constData());
}

namespace {

int RunVersion(const Invocation &)
{
    PrintVersion();
    return kExitOk;
}

}  // namespace

const CommandDecl kVersionCommand = {
    "version",
    "show the version of korvex-cli",
    nullptr,
    "Prints the version of korvex-cli (also: korvex-cli --version).\n",
    {},
    /*usesPort=*/false,
    /*usesLibrary=*/false,
    RunVersion,
};

}  // namespace korvex::cli
