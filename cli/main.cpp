// korvex-cli: programs controller cards from a prepared library file, on
// the same model, file and upload code as the desktop program.
#include <cstdio>
#include <iterator>
#include <string>

#include "app/platform.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/library_access.h"
#include "cli/port_choice.h"
#include "cli/version_command.h"
#include "link/port_names.h"

namespace korvex::cli {

namespace {

const CommandDecl *const kCommands[] = {
    &kInfoCommand,    &kSendPicturesCommand, &kSendProgramCommand, &kBackupCommand,
    &kVerifyCommand,  &kSettingsCommand,     &kSetTimeCommand,     &kListCommand,
    &kCaptureCommand, &kGenerateCommand,     &kRenameCommand,      &kDeleteCommand,
    &kProgramCommand, &kExportCommand,       &kImportCommand,      &kRenderCommand,
    &kPortsCommand,   &kVersionCommand,      &kCompletionCommand,
};

const char kPortsText[] = "ports: --port N names serial port N, the desktop program's \" ComN\":\n";
const char kPortsListText[] =
    "'korvex-cli ports' lists what each port names and whether it is free.\n";

void Usage(FILE *out)
{
    std::fprintf(out, "usage: korvex-cli <command> [options]\n\ncommands:\n");
    for (const CommandDecl *c : kCommands)
        std::fprintf(out, "  %-14s %s\n", c->name, c->summary);
    std::fprintf(out,
                 "\n'korvex-cli <command> --help' describes a command's options.\n"
                 "Exit status: 0 success, 1 the controller exchange failed, 2 bad usage or\n"
                 "a bad file, 3 the controller does not hold what it should (verify,\n"
                 "--verify), 130 or 143 stopped by SIGINT or SIGTERM.\n\n%s%s%s",
                 kPortsText, link::PortRuleText(), kPortsListText);
}

// Parses the command's options, answers --help, and runs the common steps
// the command asks for before its handler.
int Run(const CommandDecl &command, int argc, char **argv)
{
    Invocation inv;
    if (!ParseArgs(argc, argv, command, inv.args))
        return kExitUsage;
    if (inv.args.help) {
        std::fputs(HelpText(command).c_str(), stdout);
        return kExitOk;
    }
    if (command.usesPort && !ChoosePort(inv.args, inv.port))
        return kExitUsage;
    if (command.usesLibrary)
        inv.libraryPath = LibraryPath(inv.args);
    return command.run(inv);
}

}  // namespace

std::vector<const CommandDecl *> Commands()
{
    return {std::begin(kCommands), std::end(kCommands)};
}

}  // namespace korvex::cli

int main(int argc, char **argv)
{
    using namespace korvex::cli;
    korvex::PrepareProcess();
    argv = korvex::Utf8Arguments(argc, argv);
    if (argc < 2) {
        Usage(stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        Usage(stdout);
        return kExitOk;
    }
    if (name == "--version") {
        PrintVersion();
        return kExitOk;
    }
    for (const CommandDecl *c : kCommands) {
        if (name == c->name)
            return Run(*c, argc - 2, argv + 2);
    }
    Error("unknown command '" + name + "'; try 'korvex-cli --help'");
    return kExitUsage;
}
