// Finding and loading the library file for korvex-cli.
#include "cli/library_access.h"

#include "app/file_locations.h"
#include "cli/cli.h"

namespace korvex::cli {

std::string LibraryPath(const ParsedArgs &args)
{
    if (args.Has("library"))
        return args.Get("library");
    return DefaultLibrary().toLocal8Bit().toStdString();
}

bool LoadLibrary(const std::string &path, LibraryData &data)
{
    std::string error;
    if (!LoadLibraryFile(path, data, error)) {
        Error("cannot read the library file " + path + ": " + error);
        return false;
    }
    if (data.countsClamped)
        Error("warning: " + path +
              " gives more pictures or program steps than a library "
              "holds; only the first 121 pictures and 512 steps are used");
    return true;
}

}  // namespace korvex::cli
