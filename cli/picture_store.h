// What the commands that make one picture (capture, generate) share: the
// picture's name as the dialogs limit it, the library file it goes into
// (a missing file is an empty library) with --replace checked against it,
// and the picture page's New or Replace followed by its Save.
#pragma once

#include <memory>
#include <string>

#include "cli/options.h"
#include "model/library.h"
#include "model/library_document.h"
#include "model/library_file.h"

namespace korvex::cli {

extern const OptionDecl kPictureNameOption;
extern const OptionDecl kReplaceOption;

// The --name value in GBK, checked as the dialogs check it: not empty, GBK
// only, at most 15 bytes. False, the reason printed, otherwise.
bool PictureName(const ParsedArgs &args, const char *command, std::string &gbkName);

// The library a new picture goes into, loaded through the document.
struct PictureTarget {
    std::string path;
    std::unique_ptr<LibraryData> data = std::make_unique<LibraryData>();
    std::unique_ptr<LibraryDocument> doc;
    int replace = -1;  // 0-based picture to replace, or -1 to append
};

// Loads the library file (when it exists) and checks --replace, or room
// for one more picture. False, the reason printed, when the picture cannot
// be stored there; nothing is written.
bool OpenPictureTarget(const Invocation &inv, PictureTarget &target);

// Stores the colours as picture `target.replace` or as a new one, saves the
// file atomically and prints the picture's label. The exit status.
int StorePicture(PictureTarget &target, const PictureColours &colours, const std::string &gbkName);

}  // namespace korvex::cli
