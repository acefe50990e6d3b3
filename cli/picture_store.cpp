// Putting one new picture into a library file, for capture and generate.
#include "cli/picture_store.h"

#include <cstdio>

#include "cli/cli.h"
#include "cli/library_access.h"

namespace korvex::cli {

const OptionDecl kPictureNameOption = {
    "name", "NAME",
    "the picture's name, UTF-8; at most 15 bytes in GBK\n(a Chinese character counts two)", true};

const OptionDecl kReplaceOption = {"replace", "N",
                                   "put the picture in place of picture N (1-based, as\n"
                                   "'korvex-cli list' numbers them) instead of appending"};

bool PictureName(const ParsedArgs &args, const char *command, std::string &gbkName)
{
    if (!args.Has("name") || args.Get("name").empty()) {
        Error(std::string(command) +
              " needs a name: --name NAME (the dialog refuses an empty name)");
        return false;
    }
    return NameToGbk(args.Get("name"), gbkName);
}

bool OpenPictureTarget(const Invocation &inv, PictureTarget &target)
{
    target.path = inv.libraryPath;
    target.doc = OpenLibrary(target.path, *target.data, /*missingIsEmpty=*/true);
    if (!target.doc)
        return false;
    const int count = target.doc->PictureCount();
    if (inv.args.Has("replace")) {
        int n = 0;
        if (count == 0 || !ParseInt(inv.args.Get("replace"), 1, count, n)) {
            Error("--replace wants a picture number from 1 to " + std::to_string(count) +
                  " (the library holds " + std::to_string(count) + " pictures)");
            return false;
        }
        target.replace = n - 1;
    } else if (target.doc->PicturesFull()) {
        Error("the library already holds 121 pictures; use --replace N");
        return false;
    }
    return true;
}

int StorePicture(PictureTarget &target, const PictureColours &colours, const std::string &gbkName)
{
    // The page's New or Replace, then its Save.
    LibraryDocument &doc = *target.doc;
    int slot = target.replace;
    if (slot >= 0)
        doc.ReplacePicture(slot, colours, gbkName);
    else
        slot = doc.NewPicture(colours, gbkName);
    if (!SaveLibrary(target.path, doc, *target.data))
        return kExitUsage;
    std::printf("%s\n", doc.PictureLabel(slot).c_str());
    return kExitOk;
}

}  // namespace korvex::cli
