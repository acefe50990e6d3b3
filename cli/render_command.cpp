// korvex-cli render: the library sheet (app/library_sheet.h) as a PNG
// file, so the pictures and the program can be seen without the window.
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QSaveFile>
#include <QString>
#include <cstdio>
#include <memory>

#include "app/file_locations.h"
#include "app/library_sheet.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/library_access.h"

namespace korvex::cli {

namespace {

// Qt's notes on its surroundings (no XDG_RUNTIME_DIR, say) mean nothing to
// this command's user; Qt's errors are passed on.
void QtMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        Error(message.toStdString());
}

int RunRender(const Invocation &inv)
{
    const ParsedArgs &args = inv.args;
    if (args.positional.size() != 1) {
        Error("render takes one PNG file to write; try 'korvex-cli render --help'");
        return kExitUsage;
    }
    const std::string &out = args.positional[0];
    const QString outPath = QString::fromLocal8Bit(out.c_str());
    if (!outPath.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)) {
        Error("render writes PNG: the file name must end in .png, not '" + out + "'");
        return kExitUsage;
    }
    // The temporary file would take the place of whatever is there: only a
    // regular file is replaced, never a device, a folder or a link that
    // points nowhere.
    if (PathTaken(outPath) && !QFileInfo(outPath).isFile()) {
        Error("cannot write " + out + ": Not a regular file");
        return kExitUsage;
    }
    int pixels = kColours;
    if (args.Has("pixels") && !ParseInt(args.Get("pixels"), 1, kColours, pixels)) {
        Error("--pixels wants a whole number from 1 to 2048");
        return kExitUsage;
    }

    auto data = std::make_unique<LibraryData>();
    const std::unique_ptr<LibraryDocument> doc = OpenLibrary(inv.libraryPath, *data);
    if (!doc)
        return kExitUsage;

    // Text is drawn through Qt's font database, which needs a
    // QGuiApplication; the offscreen platform needs no display.
    static int argc = 3;
    static char arg0[] = "korvex-cli", arg1[] = "-platform", arg2[] = "offscreen";
    static char *argv[] = {arg0, arg1, arg2, nullptr};
    qInstallMessageHandler(QtMessages);
    const QGuiApplication app(argc, argv);

    const QImage sheet = LibrarySheet(*doc, pixels);
    if (sheet.isNull()) {
        Error("cannot make the sheet: not enough memory");
        return kExitUsage;
    }
    QSaveFile file(outPath);
    if (!file.open(QIODevice::WriteOnly) || !sheet.save(&file, "PNG") || !file.commit()) {
        Error("cannot write " + out + ": " + file.errorString().toStdString());
        return kExitUsage;
    }
    std::printf("%s: %d x %d pixels; pictures: %d, program steps: %d\n", out.c_str(), sheet.width(),
                sheet.height(), doc->PictureCount(), doc->ProgramLength());
    return kExitOk;
}

}  // namespace

const CommandDecl kRenderCommand = {
    "render",
    "draw the library's pictures and program as a PNG",
    "FILE.png",
    "Draws a sheet of the library: one line per picture, its label as\n"
    "'korvex-cli list' shows it and a strip of its colours, one pixel per\n"
    "colour; then the program, one line per listed step with its label, its\n"
    "value and its picture's strip. The labels are drawn in the program's\n"
    "font (宋体, else a CJK font such as WenQuanYi Zen Hei). No display is\n"
    "needed. The file is written through a temporary file.\n",
    {
        {"pixels", "N", "how many colours each strip shows, 1..2048; default 2048"},
    },
    /*usesPort=*/false,
    /*usesLibrary=*/true,
    RunRender,
    "Exit status: 0 done, 2 bad usage, a library file that cannot be read or\n"
    "a PNG file that cannot be written.\n",
};

}  // namespace korvex::cli
