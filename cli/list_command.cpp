// korvex-cli list: the pictures and program steps of a library file,
// labelled as the desktop program's lists show them.
#include <cstdio>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "app/gbk_text.h"
#include "app/labels.h"

namespace korvex::cli {

namespace {

const char kHelp[] = "usage: korvex-cli list [--library FILE]\n"
                     "\n"
                     "Lists the pictures and the program steps of a library file with the\n"
                     "labels the desktop program shows; names are printed as UTF-8.\n"
                     "\n"
                     "  --library FILE  library file; default korvex.Dat beside korvex-cli\n";

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

    std::printf("library: %s\n", path.c_str());
    std::printf("pictures: %d\n", data->pictureCount);
    for (int i = 0; i < data->pictureCount; ++i)
        std::printf("%s\n", PictureLabel(i + 1, GbkToUtf8(NameOf(data->pictures[i]))).c_str());

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
            StepLabel(++number, GbkToUtf8(NameOf(data->pictures[e.picture])), effect).c_str(),
            e.value);
    }
    return kExitOk;
}

}  // namespace korvex::cli
