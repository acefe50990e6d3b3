// korvex-cli's command table and option parsing. Each command declares its
// options once, in a CommandDecl; its usage line and --help text are made
// from that declaration, and the common steps it asks for (a port, a
// library file) run before its handler, so no command repeats them.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace korvex::cli {

struct OptionDecl {
    const char *name;       // without the leading "--"
    const char *value;      // placeholder of its value ("N", "FILE"), nullptr for a flag
    const char *help;       // one line (more lines separated by '\n')
    bool required = false;  // shown without brackets in the usage line
};

// The options shared by several commands, each declared once.
extern const OptionDecl kPortOption;
extern const OptionDecl kDeviceOption;
extern const OptionDecl kLibraryOption;

struct ParsedArgs {
    std::map<std::string, std::string> values;  // name -> value ("" for flags)
    std::vector<std::string> positional;        // arguments that are no option
    bool help = false;
    bool Has(const std::string &name) const { return values.count(name) != 0; }
    std::string Get(const std::string &name) const;
};

// What a command's handler gets once the common steps have run.
struct Invocation {
    ParsedArgs args;
    int port = 1;             // with CommandDecl::usesPort
    std::string libraryPath;  // with CommandDecl::usesLibrary
};

struct CommandDecl {
    const char *name;
    const char *summary;              // one line for 'korvex-cli --help'
    const char *operands;             // synopsis of the positional arguments ("IMAGE"), or nullptr
    const char *description;          // paragraph(s) of its --help
    std::vector<OptionDecl> options;  // its own options, in help order
    bool usesPort = false;            // takes --port/--device; the port is chosen first
    bool usesLibrary = false;         // takes --library; the path is found first
    int (*run)(const Invocation &) = nullptr;
    const char *epilogue = nullptr;  // text after the options in --help, or nullptr
};

// Every option the command takes: its own, then the port and library
// options it asks for.
std::vector<OptionDecl> AllOptions(const CommandDecl &command);

// Parses "--name value", "--name=value", "--help"/"-h" and positional
// arguments (only for a command with operands; after "--" every argument
// is one). False with a message on stderr for anything else.
bool ParseArgs(int argc, char **argv, const CommandDecl &command, ParsedArgs &out);

// The command's --help text: usage line, description, options.
std::string HelpText(const CommandDecl &command);

// Parses a whole decimal number within [lo, hi]; false otherwise.
bool ParseInt(const std::string &text, int lo, int hi, int &value);

}  // namespace korvex::cli
