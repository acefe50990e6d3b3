// Option parsing and the help texts made from the command table.
#include "cli/options.h"

#include <algorithm>
#include <cstdio>

#include "cli/cli.h"

namespace korvex::cli {

const OptionDecl kPortOption = {"port", "N",
                                "serial port 1..8: $KORVEX_COM<N>, else the N-th device attached\n"
                                "('korvex-cli ports' lists them); default 1"};
const OptionDecl kDeviceOption = {"device", "PATH",
                                  "use this serial device instead of a port number"};
const OptionDecl kLibraryOption = {
    "library", "FILE", "library file; default: the desktop program's (see 'korvex-cli info')"};

void Error(const std::string &message)
{
    std::fprintf(stderr, "korvex-cli: %s\n", message.c_str());
}

std::string ParsedArgs::Get(const std::string &name) const
{
    const auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
}

std::vector<OptionDecl> AllOptions(const CommandDecl &command)
{
    std::vector<OptionDecl> all = command.options;
    if (command.usesLibrary)
        all.push_back(kLibraryOption);
    if (command.usesPort) {
        all.push_back(kPortOption);
        all.push_back(kDeviceOption);
    }
    return all;
}

bool ParseArgs(int argc, char **argv, const CommandDecl &command, ParsedArgs &out)
{
    const std::vector<OptionDecl> accepted = AllOptions(command);
    const std::string name = command.name;
    const std::string hint = "try 'korvex-cli " + name + " --help'";
    bool operandsOnly = false;  // after "--", for an operand that starts with '-'
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (command.operands && (operandsOnly || arg == "--")) {
            if (operandsOnly)
                out.positional.push_back(arg);
            operandsOnly = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            out.help = true;
            continue;
        }
        if (arg.compare(0, 2, "--") != 0 || arg.size() == 2) {
            if (command.operands && (arg.empty() || arg[0] != '-' || arg == "-")) {
                out.positional.push_back(arg);
                continue;
            }
            Error("unexpected argument '" + arg + "'; " + hint);
            return false;
        }
        std::string option = arg.substr(2);
        std::string value;
        bool inlineValue = false;
        const size_t eq = option.find('=');
        if (eq != std::string::npos) {
            value = option.substr(eq + 1);
            option.resize(eq);
            inlineValue = true;
        }
        const auto known = std::find_if(accepted.begin(), accepted.end(),
                                        [&](const OptionDecl &s) { return option == s.name; });
        if (known == accepted.end()) {
            Error("unknown option '--" + option + "' for " + name + "; " + hint);
            return false;
        }
        if (known->value && !inlineValue) {
            if (i + 1 >= argc) {
                Error("option '--" + option + "' needs a value; " + hint);
                return false;
            }
            value = argv[++i];
        } else if (!known->value && inlineValue) {
            Error("option '--" + option + "' takes no value; " + hint);
            return false;
        }
        if (out.values.count(option)) {
            Error("option '--" + option + "' given twice");
            return false;
        }
        out.values[option] = value;
    }
    return true;
}

namespace {

std::string Synopsis(const OptionDecl &o)
{
    std::string s = std::string("--") + o.name;
    if (o.value)
        s += std::string(" ") + o.value;
    return s;
}

// Appends one usage item, wrapping at 78 columns under the first one.
void AddUsageItem(std::string &usage, size_t &column, size_t indent, const std::string &item)
{
    if (column + 1 + item.size() > 78) {
        usage += "\n" + std::string(indent, ' ');
        column = indent;
    } else {
        usage += " ";
        ++column;
    }
    usage += item;
    column += item.size();
}

}  // namespace

std::string HelpText(const CommandDecl &command)
{
    std::string text = std::string("usage: korvex-cli ") + command.name;
    const size_t indent = text.size() + 1;
    size_t column = text.size();
    if (command.operands)
        AddUsageItem(text, column, indent, command.operands);
    for (const OptionDecl &o : command.options)
        AddUsageItem(text, column, indent, o.required ? Synopsis(o) : "[" + Synopsis(o) + "]");
    if (command.usesLibrary)
        AddUsageItem(text, column, indent, "[" + Synopsis(kLibraryOption) + "]");
    if (command.usesPort)
        AddUsageItem(text, column, indent,
                     "[" + Synopsis(kPortOption) + " | " + Synopsis(kDeviceOption) + "]");
    text += "\n\n";
    text += command.description;

    const std::vector<OptionDecl> all = AllOptions(command);
    if (!all.empty()) {
        size_t width = 0;
        for (const OptionDecl &o : all)
            width = std::max(width, Synopsis(o).size());
        text += "\n";
        for (const OptionDecl &o : all) {
            std::string left = Synopsis(o);
            left.resize(width, ' ');
            std::string help = o.help;
            // Continuation lines line up under the first line's text.
            for (size_t nl = help.find('\n'); nl != std::string::npos; nl = help.find('\n', nl + 1))
                help.insert(nl + 1, std::string(width + 4, ' '));
            text += "  " + left + "  " + help + "\n";
        }
    }
    if (command.epilogue) {
        text += "\n";
        text += command.epilogue;
    }
    return text;
}

bool ParseInt(const std::string &text, int lo, int hi, int &value)
{
    if (text.empty() || text.size() > 9)
        return false;
    long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi)
        return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace korvex::cli
