// korvex-cli export and import: a library as a folder of plain files
// (show.json and one PNG per picture) and back, through app/show_files.
#include <QString>
#include <cstdio>
#include <memory>

#include "app/file_locations.h"
#include "app/gbk_text.h"
#include "app/show_files.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/library_access.h"
#include "model/library_document.h"

namespace korvex::cli {

namespace {

// The one folder operand; false with a message when there is not exactly one.
bool FolderOperand(const Invocation &inv, const char *command, QString &dir)
{
    const std::vector<std::string> &positional = inv.args.positional;
    if (positional.size() != 1) {
        Error(std::string(positional.empty() ? "give one folder" : "give only one folder") +
              "; try 'korvex-cli " + command + " --help'");
        return false;
    }
    dir = QString::fromLocal8Bit(positional[0].c_str());
    return true;
}

int RunExport(const Invocation &inv)
{
    QString dir;
    if (!FolderOperand(inv, "export", dir))
        return kExitUsage;
    auto data = std::make_unique<LibraryData>();
    const std::unique_ptr<LibraryDocument> doc = OpenLibrary(inv.libraryPath, *data);
    if (!doc)
        return kExitUsage;
    const ShowExport show = ShowToFiles(*doc);
    for (const QString &warning : show.warnings)
        Error("warning: " + warning.toStdString());
    QString error;
    if (!WriteShowFolder(show, dir, inv.args.Has("force"), error)) {
        Error(error.toStdString());
        return kExitUsage;
    }
    std::printf("%s: %d pictures, %d program steps\n", dir.toLocal8Bit().constData(),
                doc->PictureCount(), doc->ProgramLength());
    return kExitOk;
}

int RunImport(const Invocation &inv)
{
    QString dir;
    if (!FolderOperand(inv, "import", dir))
        return kExitUsage;
    const std::string &path = inv.libraryPath;
    if (PathTaken(QString::fromLocal8Bit(path.c_str())) && !inv.args.Has("force")) {
        Error(path + " exists; give --force to replace it");
        return kExitUsage;
    }
    auto doc = std::make_unique<LibraryDocument>(GbkToUtf8);
    QString error;
    if (!ReadShowFolder(dir, *doc, error)) {
        Error(error.toStdString());
        return kExitUsage;
    }
    auto data = std::make_unique<LibraryData>();
    if (!SaveLibrary(path, *doc, *data))
        return kExitUsage;
    std::printf("%s: %d pictures, %d program steps\n", path.c_str(), doc->PictureCount(),
                doc->ProgramLength());
    return kExitOk;
}

}  // namespace

const CommandDecl kExportCommand = {
    "export",
    "write the library as a folder of files",
    "DIR",
    "Writes the library's pictures and program into the folder DIR:\n"
    "DIR/pictures/NNN.png, one 2048 x 1 PNG (8-bit RGB) per picture, pixel k\n"
    "colour k as stored, and DIR/show.json with the names, the picture files\n"
    "and the listed program steps. Two exports of one library are the same\n"
    "bytes. DIR is made when missing and must be empty unless --force. A\n"
    "picture whose colours carry the low 4 bits of a channel, which the\n"
    "controller does not keep and an import clears, is warned of.\n",
    {
        {"force", nullptr,
         "write into a folder that is not empty: show.json and the\n"
         "pictures are replaced, pictures/NNN.png beyond the last\n"
         "picture removed, anything else left alone"},
    },
    /*usesPort=*/false,
    /*usesLibrary=*/true,
    RunExport,
    "Exit status: 0 done, 2 bad usage, a library file that cannot be read or is\n"
    "damaged, DIR not empty without --force, or a file that cannot be written.\n",
};

const CommandDecl kImportCommand = {
    "import",
    "build a library file from a folder of files",
    "DIR",
    "Builds a library from DIR/show.json and the picture files it names\n"
    "(.png, .bmp, .jpg, .jpeg, inside DIR). Each picture is made from its\n"
    "file's top row as 'korvex-cli capture' makes it: an image 2048 pixels\n"
    "wide pixel for pixel, any other width with the picture's \"width\" and\n"
    "\"stretch\" keys as --width and --stretch. The library file is written\n"
    "only when the whole show is right; the first fault is reported with the\n"
    "file and the item.\n",
    {
        {"force", nullptr, "replace the library file when it exists"},
    },
    /*usesPort=*/false,
    /*usesLibrary=*/true,
    RunImport,
    "Exit status: 0 done, 2 bad usage, a fault in the show (nothing is then\n"
    "written), the library file exists without --force or cannot be written.\n",
};

}  // namespace korvex::cli
