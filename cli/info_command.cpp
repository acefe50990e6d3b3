// korvex-cli info: the connection check, with what the controller reports.
#include <cstdio>

#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/port_choice.h"
#include "cli/record_lines.h"
#include "cli/version_command.h"
#include "link/korvex_api.h"
#include "model/config_record.h"
#include "model/effects.h"
#include "model/line.h"

namespace korvex::cli {

namespace {

int RunInfo(const Invocation &inv)
{
    const int port = inv.port;
    PrintHostLines();

    ConfigRecord record{};
    const bool opened = ComInitial(port, kBaud) != 0;
    const bool read = opened && ReadConfigRecord(record);
    ComClose();
    if (!RecordWasRead(opened, read, port))
        return kExitExchange;

    std::printf("connected:       %s\n", DescribePort(port).c_str());
    if (!HasSignature(record)) {
        std::printf("signature:       absent (the record is treated as blank; a settings "
                    "save writes a complete one)\n");
    } else {
        std::printf("signature:       Ver\n");
    }
    PrintFirmwareLine(record);
    std::printf("effects offered: %d\n", EffectsOffered(record));
    PrintSettingsLines(record);
    std::printf("pictures:        %u\n", record[cfg::kPictureCount]);
    std::printf("program entries: %u\n", GetWord(record, cfg::kProgramCount));
    return kExitOk;
}

}  // namespace

const CommandDecl kInfoCommand = {
    "info",
    "check the connection and show the controller's settings",
    nullptr,
    "Reads the controller's configuration record and shows its signature,\n"
    "firmware version, pixel count, colour order, display flags and the\n"
    "numbers of pictures and program entries it last received.\n",
    {},
    /*usesPort=*/true,
    /*usesLibrary=*/false,
    RunInfo,
};

}  // namespace korvex::cli
