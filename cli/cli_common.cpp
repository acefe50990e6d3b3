#include "cli/cli_common.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "link/korvex_api.h"

namespace korvex::cli {

const std::vector<OptionSpec> kPortOptions = {{"port", true}, {"device", true}};
const OptionSpec kLibraryOption = {"library", true};

const char *const kEffectNames[8] = {
    "\xE6\x98\xBE\xE7\xA4\xBA", "\xE6\xB8\x90\xE6\x98\xBE", "\xE5\xB7\xA6\xE7\xA7\xBB",
    "\xE5\x8F\xB3\xE7\xA7\xBB", "\xE6\xB8\x90\xE9\x9A\x90", "\xE7\xAD\x89\xE5\xBE\x85",
    "\xE5\xB1\x95\xE5\xBC\x80", "\xE6\x94\xB6\xE6\x8B\xA2",
};

std::string ParsedArgs::Get(const std::string &name) const
{
    const auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
}

void Error(const std::string &message)
{
    std::fprintf(stderr, "korvex-cli: %s\n", message.c_str());
}

bool ParseArgs(int argc, char **argv, const std::vector<OptionSpec> &specs,
               const std::string &command, ParsedArgs &out)
{
    const std::string hint = "try 'korvex-cli " + command + " --help'";
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            out.help = true;
            continue;
        }
        if (arg.compare(0, 2, "--") != 0 || arg.size() == 2) {
            Error("unexpected argument '" + arg + "'; " + hint);
            return false;
        }
        std::string name = arg.substr(2);
        std::string value;
        bool inlineValue = false;
        const size_t eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inlineValue = true;
        }
        const OptionSpec *known = nullptr;
        for (const OptionSpec &s : specs) {
            if (s.name == name)
                known = &s;
        }
        if (!known) {
            Error("unknown option '--" + name + "' for " + command + "; " + hint);
            return false;
        }
        if (known->takesValue && !inlineValue) {
            if (i + 1 >= argc) {
                Error("option '--" + name + "' needs a value; " + hint);
                return false;
            }
            value = argv[++i];
        } else if (!known->takesValue && inlineValue) {
            Error("option '--" + name + "' takes no value; " + hint);
            return false;
        }
        if (out.values.count(name)) {
            Error("option '--" + name + "' given twice");
            return false;
        }
        out.values[name] = value;
    }
    return true;
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

bool ChoosePort(const ParsedArgs &args, int &port)
{
    port = 1;
    if (args.Has("port") && !ParseInt(args.Get("port"), 1, 8, port)) {
        Error("--port takes a port number from 1 to 8, not '" + args.Get("port") + "'");
        return false;
    }
    if (args.Has("device")) {
        const std::string path = args.Get("device");
        if (path.empty()) {
            Error("--device needs the path of a serial device");
            return false;
        }
        const std::string var = "KORVEX_COM" + std::to_string(port);
        setenv(var.c_str(), path.c_str(), 1);
    }
    return true;
}

namespace {

std::string DevicePath(int port)
{
    const std::string var = "KORVEX_COM" + std::to_string(port);
    if (const char *p = std::getenv(var.c_str()))
        return p;
    return "/dev/ttyS" + std::to_string(port - 1);
}

}  // namespace

std::string DescribePort(int port)
{
    return "port " + std::to_string(port) + " (" + DevicePath(port) + ")";
}

std::string OpenFailure(int port)
{
    const std::string path = DevicePath(port);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return "cannot open " + DescribePort(port) + ": there is no such device";
    if (!S_ISCHR(st.st_mode))
        return "cannot open " + DescribePort(port) + ": it is not a serial device";
    return "cannot open " + DescribePort(port) + ": it is in use or cannot be set up";
}

int StartPortCommand(int argc, char **argv, const std::string &command, const char *help, int &port)
{
    ParsedArgs args;
    if (!ParseArgs(argc, argv, kPortOptions, command, args))
        return kExitUsage;
    if (args.help) {
        std::fputs(help, stdout);
        return kExitOk;
    }
    port = 1;
    return ChoosePort(args, port) ? -1 : kExitUsage;
}

int RecordReadFailure(bool opened, bool read, int port)
{
    if (!opened) {
        Error(OpenFailure(port));
        return kExitExchange;
    }
    if (!read) {
        Error("no controller answered on " + DescribePort(port));
        return kExitExchange;
    }
    return -1;
}

std::string WhyExchangeFailed(int port)
{
    const bool opens = ComInitial(port, 38400) != 0;
    ComClose();
    if (!opens)
        return OpenFailure(port);
    return "the controller did not answer on " + DescribePort(port);
}

std::string LibraryPath(const ParsedArgs &args)
{
    if (args.Has("library"))
        return args.Get("library");
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "korvex.Dat";
    std::string exe(buf, static_cast<size_t>(n));
    const size_t slash = exe.rfind('/');
    return (slash == std::string::npos ? std::string(".") : exe.substr(0, slash)) + "/korvex.Dat";
}

bool LoadLibrary(const std::string &path, LibraryData &data)
{
    std::string error;
    if (!LoadLibraryFile(path, data, error)) {
        Error("cannot read the library file " + path + ": " + error);
        return false;
    }
    // The window would list a damaged count as nothing or cut it; a command
    // acting on such a file would send or overwrite the wrong pictures.
    if (const auto damage = FindDamagedCount(data)) {
        Error("the library file " + path + " is damaged: its " + damage->field + " is " +
              std::to_string(damage->value) + ", above " + std::to_string(damage->limit));
        return false;
    }
    return true;
}

int ListedProgramLength(const LibraryData &data)
{
    int shown = 0;
    for (int i = 0; i < data.programLength; ++i) {
        if (data.program[i].picture < data.pictureCount)
            ++shown;
    }
    return shown;
}

ProgressBar::ProgressBar(const std::string &label, int maximum)
    : label_(label), maximum_(maximum), tty_(::isatty(STDERR_FILENO) == 1)
{
}

ProgressBar::~ProgressBar()
{
    Finish();
}

void ProgressBar::Set(int position)
{
    if (!tty_)
        return;
    constexpr int kWidth = 40;
    const int filled = maximum_ > 0 ? position * kWidth / maximum_ : kWidth;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kWidth, '.');
    std::fprintf(stderr, "\r%s [%s] %d/%d", label_.c_str(), bar.c_str(), position, maximum_);
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::Finish()
{
    if (drawn_) {
        std::fputc('\n', stderr);
        drawn_ = false;
    }
}

}  // namespace korvex::cli
