// korvex-cli list: the pictures and program steps of a library file,
// labelled and listed exactly as the desktop program's lists show them.
#include <cstdio>
#include <memory>

#include "app/gbk_text.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/library_access.h"
#include "model/library_document.h"

namespace korvex::cli {

namespace {

int RunList(const Invocation &inv)
{
    auto data = std::make_unique<LibraryData>();
    if (!LoadLibrary(inv.libraryPath, *data))
        return kExitUsage;
    auto doc = std::make_unique<LibraryDocument>(GbkToUtf8);
    doc->Load(*data);

    std::printf("library: %s\n", inv.libraryPath.c_str());
    std::printf("pictures: %d\n", doc->PictureCount());
    for (int i = 0; i < doc->PictureCount(); ++i)
        std::printf("%s\n", doc->PictureLabel(i).c_str());

    // The entries the rebuild dropped: among the first programLength, those
    // whose picture the library does not hold.
    for (int i = 0; i < data->programLength; ++i) {
        const ProgramEntry &e = data->program[static_cast<size_t>(i)];
        if (!StepIsListed(e, doc->PictureCount()))
            std::fprintf(stderr,
                         "korvex-cli: note: program entry %d names picture %d, which the "
                         "library does not hold; it is not listed\n",
                         i + 1, e.picture + 1);
    }
    std::printf("program steps: %d\n", doc->ProgramLength());
    for (int s = 0; s < doc->ProgramLength(); ++s)
        std::printf("%s (value %d)\n", doc->StepLabel(s).c_str(),
                    doc->Program()[static_cast<size_t>(s)].value);
    return kExitOk;
}

}  // namespace

const CommandSpec kListCommand = {
    "list",
    "list the pictures and program steps of a library file",
    nullptr,
    "Lists the pictures and the program steps of a library file with the\n"
    "labels the desktop program shows; names are printed as UTF-8.\n",
    {},
    /*usesPort=*/false,
    /*usesLibrary=*/true,
    RunList,
};

}  // namespace korvex::cli
