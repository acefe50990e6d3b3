// Shared parts of the korvex-cli subcommands: option parsing, the port
// choice, the library file, the progress bar and plain-word errors.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/library_file.h"

namespace korvex::cli {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitExchange = 1;
constexpr int kExitUsage = 2;

struct OptionSpec {
    std::string name;  // without the leading "--"
    bool takesValue;
};

// The options every subcommand that talks to a controller accepts.
extern const std::vector<OptionSpec> kPortOptions;
// The option every subcommand that reads a library file accepts.
extern const OptionSpec kLibraryOption;

struct ParsedArgs {
    std::map<std::string, std::string> values;  // name -> value ("" for flags)
    bool help = false;
    bool Has(const std::string &name) const { return values.count(name) != 0; }
    std::string Get(const std::string &name) const;
};

// Parses "--name value", "--name=value" and "--help"/"-h". False with a
// message on stderr (and the usage hint) for anything else.
bool ParseArgs(int argc, char **argv, const std::vector<OptionSpec> &specs,
               const std::string &command, ParsedArgs &out);

// Prints "korvex-cli: <message>" on stderr.
void Error(const std::string &message);

// Parses a whole decimal number within [lo, hi]; false otherwise.
bool ParseInt(const std::string &text, int lo, int hi, int &value);

// The port number chosen by --port/--device (1 without either). --device
// aims that port number at the given path for the library's own mapping.
// False (message printed) for a bad value.
bool ChoosePort(const ParsedArgs &args, int &port);
// The start of a command that takes only the port options: parses them and
// prints `help` when asked. Returns -1 to go on with `port` chosen, else the
// exit status to end with.
int StartPortCommand(int argc, char **argv, const std::string &command, const char *help,
                     int &port);
// "port N (PATH)" as the library maps it.
std::string DescribePort(int port);
// Why ComInitial failed, in plain words.
std::string OpenFailure(int port);
// After a failed exchange: whether the port could not be opened (the
// reason) or the controller did not answer. Opens and closes the port
// once more to tell, sending nothing.
std::string WhyExchangeFailed(int port);
// After opening the port and reading the configuration record: prints why
// it failed and returns the exit status, or returns -1 when both worked.
int RecordReadFailure(bool opened, bool read, int port);

// The --library file or the desktop program's (app/file_locations.h).
std::string LibraryPath(const ParsedArgs &args);
// Loads the library file; prints the reason and returns false on failure.
// A missing file is an error here: sending an empty library by mistake
// would wipe the controller.
bool LoadLibrary(const std::string &path, LibraryData &data);

// Number of program entries the program list shows for this library (the
// entries whose picture exists), and so the program length the desktop
// program sends after loading it.
int ListedProgramLength(const LibraryData &data);

// The effect texts of the effect list as the window opens, UTF-8.
extern const char *const kEffectNames[8];

// A progress bar on stderr, drawn only when stderr is a terminal.
class ProgressBar {
public:
    ProgressBar(const std::string &label, int maximum);
    ~ProgressBar();
    void Set(int position);
    void Finish();

private:
    std::string label_;
    int maximum_;
    bool tty_;
    bool drawn_ = false;
};

}  // namespace korvex::cli
