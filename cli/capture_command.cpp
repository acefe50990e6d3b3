// korvex-cli capture: makes a picture from a BMP or JPEG file the way the
// capture dialog does (same loading, width rounding, black columns,
// stretching and row-0 sampling) and adds it to a library file, or puts it
// in place of an existing picture, so a library can be built by script.
#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "app/capture.h"
#include "app/gbk_text.h"
#include "app/image_load.h"
#include "app/labels.h"

namespace korvex::cli {

namespace {

const char kHelp[] = "usage: korvex-cli capture IMAGE --name NAME [--width W] [--stretch]\n"
                     "                          [--library FILE] [--replace N]\n"
                     "\n"
                     "Makes a picture of 2048 colours from the top row of IMAGE (.bmp, .jpg or\n"
                     ".jpeg) exactly as the capture dialog does, and appends it to the library\n"
                     "file (or replaces picture N). A library file that does not exist yet is\n"
                     "created.\n"
                     "\n"
                     "  --name NAME     the picture's name, UTF-8; at most 15 bytes in GBK\n"
                     "                  (a Chinese character counts two)\n"
                     "  --width W       the dialog's width field, 8..2048; rounded up to a\n"
                     "                  multiple of 16 as the field does. Default: as loading\n"
                     "                  sets it, the image width rounded up to 16, at most 2048.\n"
                     "                  Without --stretch a row narrower than the width gets\n"
                     "                  black columns up to it (a smaller width adds none).\n"
                     "  --stretch       scale the row to the width (nearest neighbour)\n"
                     "  --library FILE  library file; default korvex.Dat beside korvex-cli\n"
                     "  --replace N     put the picture in place of picture N (1-based, as\n"
                     "                  'korvex-cli list' numbers them) instead of appending\n"
                     "\n"
                     "Exit status: 0 done, 2 bad usage, an image that gives no picture, or a\n"
                     "library file that cannot be read or written or is damaged (nothing is\n"
                     "then written).\n";

bool TakesValue(const std::vector<OptionSpec> &specs, const std::string &arg)
{
    if (arg.compare(0, 2, "--") != 0 || arg.find('=') != std::string::npos)
        return false;
    for (const OptionSpec &s : specs) {
        if ("--" + s.name == arg)
            return s.takesValue;
    }
    return false;
}

}  // namespace

int RunCapture(int argc, char **argv)
{
    const std::vector<OptionSpec> specs = {
        {"name", true}, {"width", true}, {"stretch", false}, {"replace", true}, kLibraryOption};

    // The image is the one argument that is neither an option nor its value.
    std::vector<char *> options;
    std::vector<std::string> positional;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.compare(0, 1, "-") == 0 && arg.size() > 1) {
            options.push_back(argv[i]);
            if (TakesValue(specs, arg) && i + 1 < argc)
                options.push_back(argv[++i]);
        } else {
            positional.push_back(arg);
        }
    }
    ParsedArgs args;
    if (!ParseArgs(static_cast<int>(options.size()), options.data(), specs, "capture", args))
        return kExitUsage;
    if (args.help) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (positional.size() != 1) {
        Error(positional.empty() ? "capture needs an image file; try 'korvex-cli capture --help'"
                                 : "capture takes one image file; try 'korvex-cli capture --help'");
        return kExitUsage;
    }
    if (!args.Has("name") || args.Get("name").empty()) {
        Error("capture needs a name: --name NAME (the dialog refuses an empty name)");
        return kExitUsage;
    }

    const std::string utf8Name = args.Get("name");
    const std::string gbkName = Utf8ToGbk(utf8Name);
    if (GbkToUtf8(gbkName) != utf8Name) {
        Error("the name holds characters the GBK code page cannot store");
        return kExitUsage;
    }
    if (static_cast<int>(gbkName.size()) > kNameTyped) {
        Error("the name takes " + std::to_string(gbkName.size()) +
              " bytes in GBK; at most 15 are allowed");
        return kExitUsage;
    }

    std::optional<int> width;
    if (args.Has("width")) {
        int w = 0;
        if (!ParseInt(args.Get("width"), kWidthMin, kWidthMax, w)) {
            Error("--width wants a whole number from 8 to 2048");
            return kExitUsage;
        }
        width = w;
    }

    // The library first: a bad file or --replace is reported before the
    // image is decoded.
    const std::string path = LibraryPath(args);
    auto data = std::make_unique<LibraryData>();
    if (QFileInfo::exists(QString::fromStdString(path))) {
        if (!LoadLibrary(path, *data))
            return kExitUsage;
    }
    int slot = data->pictureCount;
    if (args.Has("replace")) {
        int n = 0;
        if (data->pictureCount == 0 || !ParseInt(args.Get("replace"), 1, data->pictureCount, n)) {
            Error("--replace wants a picture number from 1 to " +
                  std::to_string(data->pictureCount) + " (the library holds " +
                  std::to_string(data->pictureCount) + " pictures)");
            return kExitUsage;
        }
        slot = n - 1;
    } else if (data->pictureCount >= kMaxPictures) {
        Error("the library already holds 121 pictures; use --replace N");
        return kExitUsage;
    }

    const QString image = QString::fromStdString(positional[0]);
    // Only row 0 is sampled, so only row 0 is decoded.
    const LoadedImage loaded = LoadImageTopRow(image);
    if (!loaded.notice.isEmpty())
        Error((loaded.image.isNull() ? "" : "warning: ") + loaded.notice.toStdString());
    CaptureColours colours;
    if (!CaptureImage(loaded.image, width, args.Has("stretch"), colours)) {
        if (loaded.notice.isEmpty()) {
            const QString ext = LowerExtension(image);
            if (ext != QLatin1String(".bmp") && ext != QLatin1String(".jpg") &&
                ext != QLatin1String(".jpeg"))
                Error("cannot read " + positional[0] +
                      ": only .bmp, .jpg and .jpeg files are read");
            else
                Error("cannot read " + positional[0] + ": no such file, or not a readable image");
        }
        return kExitUsage;
    }

    PictureRecord &record = data->pictures[static_cast<size_t>(slot)];
    std::memcpy(record.colours, colours.data(), sizeof record.colours);
    StoreName(record, gbkName);
    if (slot == data->pictureCount)
        ++data->pictureCount;

    std::string error;
    if (!SaveLibraryFile(path, *data, error)) {
        Error("cannot write the library file " + path + ": " + error);
        return kExitUsage;
    }
    std::printf("%s\n", PictureLabel(slot + 1, utf8Name).c_str());
    return kExitOk;
}

}  // namespace korvex::cli
