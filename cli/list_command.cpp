// korvex-cli list: the pictures and program steps of a library file,
// labelled and listed exactly as the desktop program's lists show them.
#include <cstdio>
#include <memory>

#include "app/platform.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/library_access.h"
#include "model/library_document.h"

namespace korvex::cli {

namespace {

// A label for printing. On a terminal, control characters (C0, DEL and C1)
// are shown as \xHH and \u00HH, so a name cannot move the cursor, clear
// the screen or change the terminal's settings; elsewhere the label is
// printed as it is.
std::string Printable(const std::string &utf8, bool terminal)
{
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

int RunList(const Invocation &inv)
{
    auto data = std::make_unique<LibraryData>();
    const std::unique_ptr<LibraryDocument> doc = OpenLibrary(inv.libraryPath, *data);
    if (!doc)
        return kExitUsage;

    const bool terminal = IsTerminal(stdout);
    std::printf("library: %s\n", Printable(inv.libraryPath, terminal).c_str());
    std::printf("pictures: %d\n", doc->PictureCount());
    for (int i = 0; i < doc->PictureCount(); ++i)
        std::printf("%s\n", Printable(doc->PictureLabel(i), terminal).c_str());

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
        std::printf("%s (value %d)\n", Printable(doc->StepLabel(s), terminal).c_str(),
                    doc->Program()[static_cast<size_t>(s)].value);
    return kExitOk;
}

}  // namespace

const CommandDecl kListCommand = {
    "list",
    "list the pictures and program steps of a library file",
    nullptr,
    "Lists the pictures and the program steps of a library file with the\n"
    "labels the desktop program shows; names are printed as UTF-8 (on a\n"
    "terminal with control characters shown as \\xHH or \\u00HH).\n",
    {},
    /*usesPort=*/false,
    /*usesLibrary=*/true,
    RunList,
};

}  // namespace korvex::cli
