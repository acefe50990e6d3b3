// korvex-cli's commands, one CommandSpec each (defined in the command's own
// file). Each handler returns the process exit status: 0 success, 1 a
// failed exchange with the controller, 2 bad usage or a bad file, 130 or
// 143 an upload stopped by SIGINT or SIGTERM.
#pragma once

#include "cli/options.h"

namespace korvex::cli {

extern const CommandSpec kInfoCommand;
extern const CommandSpec kSendPicturesCommand;
extern const CommandSpec kSendProgramCommand;
extern const CommandSpec kSettingsCommand;
extern const CommandSpec kSetTimeCommand;
extern const CommandSpec kListCommand;
extern const CommandSpec kCaptureCommand;
extern const CommandSpec kVersionCommand;
extern const CommandSpec kPortsCommand;

}  // namespace korvex::cli
