// korvex-cli list: the pictures and program steps of a library file,
// labelled as the desktop program's lists show them.
#include <cstdio>
#include <unistd.h>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "app/gbk_text.h"
#include "app/labels.h"

namespace korvex::cli {

namespace {

const char kHelp[] = "usage: korvex-cli list [--library FILE]\n"
                     "\n"
                     "Lists the pictures and the program steps of a library file with the\n"
                     "labels the desktop program shows; names are printed as UTF-8 (on a\n"
                     "terminal with control characters shown as \\xHH or \\u00HH).\n"
                     "\n"
                     "  --library FILE  library file; default korvex.Dat beside korvex-cli\n";

// A name as UTF-8 for printing. On a terminal, control characters (C0,
// DEL and C1) are shown as \xHH and \u00HH, so a name cannot move the
// cursor, clear the screen or change the terminal's settings; elsewhere
// the name is printed as stored.
std::string Printable(const std::string &gbk, bool terminal)
{
    const std::string utf8 = GbkToUtf8(gbk);
    if (!terminal)
        return utf8;
    std::string out;
    char esc[8];
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        const unsigned char next =
            i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(esc, sizeof esc, "\\x%02x", c);
            out += esc;
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            std::snprintf(esc, sizeof esc, "\\u%04x", next);
            out += esc;
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace

int RunList(int argc, char **argv)
{
    ParsedArgs args;
    if (!ParseArgs(argc, argv, {kLibraryOption}, "list", args))
        return kExitUsage;
    if (args.help) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    const std::string path = LibraryPath(args);
    auto data = std::make_unique<LibraryData>();
    if (!LoadLibrary(path, *data))
        return kExitUsage;

    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    std::printf("pictures: %d\n", data->pictureCount);
    for (int i = 0; i < data->pictureCount; ++i)
        std::printf("%s\n",
                    PictureLabel(i + 1, Printable(NameOf(data->pictures[i]), terminal)).c_str());

    const int shown = ListedProgramLength(*data);
    std::printf("program steps: %d\n", shown);
    int number = 0;
    for (int i = 0; i < data->programLength; ++i) {
        const ProgramEntry &e = data->program[i];
        if (e.picture >= data->pictureCount) {
            std::fprintf(stderr,
                         "korvex-cli: note: program entry %d names picture %d, which the "
                         "library does not hold; it is not listed\n",
                         i + 1, e.picture + 1);
            continue;
        }
        const std::string effect = e.effect < 8 ? kEffectNames[e.effect] : "";
        std::printf(
            "%s (value %d)\n",
            StepLabel(++number, Printable(NameOf(data->pictures[e.picture]), terminal), effect)
                .c_str(),
            e.value);
    }
    return kExitOk;
}

}  // namespace korvex::cli
