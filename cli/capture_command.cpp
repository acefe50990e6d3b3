// korvex-cli capture: makes a picture from a BMP, PNG or JPEG file the way the
// capture dialog does (same loading, width rounding, black columns,
// stretching and row-0 sampling) and adds it to a library file, or puts it
// in place of an existing picture, so a library can be built by script.
#include <QString>
#include <optional>
#include <vector>

#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/picture_store.h"
#include "app/capture.h"
#include "app/image_load.h"

namespace korvex::cli {

namespace {

int RunCapture(const Invocation &inv)
{
    const ParsedArgs &args = inv.args;
    const std::vector<std::string> &positional = args.positional;

    if (positional.size() != 1) {
        Error(positional.empty() ? "capture needs an image file; try 'korvex-cli capture --help'"
                                 : "capture takes one image file; try 'korvex-cli capture --help'");
        return kExitUsage;
    }
    std::string gbkName;
    if (!PictureName(args, "capture", gbkName))
        return kExitUsage;

    std::optional<int> width;
    if (args.Has("width")) {
        int w = 0;
        if (!ParseInt(args.Get("width"), kCaptureWidthMin, kCaptureWidthMax, w)) {
            Error("--width wants a whole number from 8 to 2048");
            return kExitUsage;
        }
        width = w;
    }

    // The library first: a bad file or --replace is reported before the
    // image is decoded.
    PictureTarget target;
    if (!OpenPictureTarget(inv, target))
        return kExitUsage;

    const QString image = QString::fromStdString(positional[0]);
    // Only row 0 is sampled, so only row 0 is decoded.
    const LoadedImage loaded = LoadImageTopRow(image);
    if (!loaded.notice.isEmpty())
        Error((loaded.image.isNull() ? "" : "warning: ") + loaded.notice.toStdString());
    CaptureColours colours;
    if (!CaptureImage(loaded.image, width, args.Has("stretch"), colours)) {
        if (loaded.notice.isEmpty()) {
            if (!IsImageExtension(image))
                Error("cannot read " + positional[0] +
                      ": only .bmp, .png, .jpg and .jpeg files are read");
            else
                Error("cannot read " + positional[0] + ": no such file, or not a readable image");
        }
        return kExitUsage;
    }
    return StorePicture(target, colours, gbkName);
}

}  // namespace

const CommandDecl kCaptureCommand = {
    "capture",
    "make a picture from an image file",
    "IMAGE",
    "Makes a picture of 2048 colours from the top row of IMAGE (.bmp, .png,\n"
    ".jpg or .jpeg) exactly as the capture dialog does, and appends it to the\n"
    "library file (or replaces picture N). A library file that does not exist\n"
    "yet is created.\n",
    {
        kPictureNameOption,
        {"width", "W",
         "the dialog's width field, 8..2048; rounded up to a\n"
         "multiple of 16 as the field does. Default: as loading\n"
         "sets it, the image width rounded up to 16, at most 2048.\n"
         "Without --stretch a row narrower than the width gets\n"
         "black columns up to it (a smaller width adds none)."},
        {"stretch", nullptr, "scale the row to the width (nearest neighbour)"},
        kReplaceOption,
    },
    /*usesPort=*/false,
    /*usesLibrary=*/true,
    RunCapture,
    "Exit status: 0 done, 2 bad usage, an image that gives no picture, or a\n"
    "library file that cannot be read or written or is damaged (nothing is\n"
    "then written).\n",
};

}  // namespace korvex::cli
