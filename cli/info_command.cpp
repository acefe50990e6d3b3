// korvex-cli info: the connection check, with what the controller reports.
#include <cstdio>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/version_command.h"
#include "link/korvex_api.h"
#include "model/config_record.h"

namespace korvex::cli {

namespace {

const char kHelp[] =
    "usage: korvex-cli info [--port N | --device PATH]\n"
    "\n"
    "Reads the controller's configuration record and shows its signature,\n"
    "firmware version, pixel count, colour order, display flags and the\n"
    "numbers of pictures and program entries it last received.\n"
    "\n"
    "  --port N       serial port 1..8 (KORVEX_COM<N>, else /dev/ttyS<N-1>); default 1\n"
    "  --device PATH  use this serial device\n";

const char *const kOrders[6] = {"red green blue", "red blue green", "green red blue",
                                "green blue red", "blue red green", "blue green red"};

}  // namespace

int RunInfo(int argc, char **argv)
{
    int port = 1;
    if (const int status = StartPortCommand(argc, argv, "info", kHelp, port); status >= 0)
        return status;
    PrintHostLines();

    ConfigRecord record{};
    const bool opened = ComInitial(port, 38400) != 0;
    const bool read = opened && ReadConfigRecord(record);
    ComClose();
    if (const int status = RecordReadFailure(opened, read, port); status >= 0)
        return status;

    std::printf("connected:       %s\n", DescribePort(port).c_str());
    if (!HasSignature(record)) {
        std::printf("signature:       absent (the record is treated as blank; a settings "
                    "save writes a complete one)\n");
    } else {
        std::printf("signature:       Ver\n");
    }
    const uint8_t version = VersionNumber(record);
    std::printf("firmware:        %c.%c (version number %u)\n",
                record[cfg::kVersionMajor] >= 0x20 && record[cfg::kVersionMajor] < 0x7F
                    ? record[cfg::kVersionMajor]
                    : '?',
                record[cfg::kVersionMinor] >= 0x20 && record[cfg::kVersionMinor] < 0x7F
                    ? record[cfg::kVersionMinor]
                    : '?',
                version);
    std::printf("effects offered: %d\n", HasSignature(record) && version > 10 ? 8 : 6);
    std::printf("pixel count:     %u\n", GetWord(record, cfg::kPixelCount));
    const unsigned order = record[cfg::kColourOrder];
    std::printf("colour order:    %u (%s)\n", order,
                order < 6 ? kOrders[order] : "not a known order");
    std::printf("data inversion:  %s\n", (record[cfg::kFlags] & 1) ? "on" : "off");
    std::printf("OE inversion:    %s\n", (record[cfg::kFlags] & 2) ? "on" : "off");
    std::printf("pictures:        %u\n", record[cfg::kPictureCount]);
    std::printf("program entries: %u\n", GetWord(record, cfg::kProgramCount));
    return kExitOk;
}

}  // namespace korvex::cli
