// korvex-cli subcommands. Each takes the arguments after its own name and
// returns the process exit status: 0 success, 1 a failed exchange with the
// controller, 2 bad usage or a bad file.
#pragma once

namespace korvex::cli {

int RunInfo(int argc, char **argv);
int RunSendPictures(int argc, char **argv);
int RunSendProgram(int argc, char **argv);
int RunSettings(int argc, char **argv);
int RunSetTime(int argc, char **argv);
int RunList(int argc, char **argv);
int RunCapture(int argc, char **argv);

}  // namespace korvex::cli
