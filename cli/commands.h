// korvex-cli's commands, one CommandDecl each (defined in the command's own
// file). Each handler returns the process exit status: 0 success, 1 a
// failed exchange with the controller, 2 bad usage or a bad file, 3 the
// controller does not hold what it should, 130 or 143 stopped by SIGINT or
// SIGTERM.
#pragma once

#include <vector>

#include "cli/options.h"

namespace korvex::cli {

extern const CommandDecl kInfoCommand;
extern const CommandDecl kSendPicturesCommand;
extern const CommandDecl kSendProgramCommand;
extern const CommandDecl kSettingsCommand;
extern const CommandDecl kSetTimeCommand;
extern const CommandDecl kListCommand;
extern const CommandDecl kCaptureCommand;
extern const CommandDecl kGenerateCommand;
extern const CommandDecl kVersionCommand;
extern const CommandDecl kPortsCommand;
extern const CommandDecl kBackupCommand;
extern const CommandDecl kVerifyCommand;
extern const CommandDecl kExportCommand;
extern const CommandDecl kImportCommand;
extern const CommandDecl kRenameCommand;
extern const CommandDecl kDeleteCommand;
extern const CommandDecl kProgramCommand;
extern const CommandDecl kRenderCommand;
extern const CommandDecl kCompletionCommand;

// Every command, in the order 'korvex-cli --help' lists them (cli/main.cpp).
std::vector<const CommandDecl *> Commands();

}  // namespace korvex::cli
