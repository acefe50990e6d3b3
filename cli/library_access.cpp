// Finding and loading the library file for korvex-cli.
#include "cli/library_access.h"

#include "app/file_locations.h"
#include "app/gbk_text.h"
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
    // The window would list a damaged count as nothing or cut it; a command
    // acting on such a file would send or overwrite the wrong pictures.
    if (const auto damage = FindDamagedCount(data)) {
        Error("the library file " + path + " is damaged: its " + damage->field + " is " +
              std::to_string(damage->value) + ", above " + std::to_string(damage->limit));
        return false;
    }
    return true;
}

std::unique_ptr<LibraryDocument> OpenLibrary(const std::string &path, LibraryData &data)
{
    if (!LoadLibrary(path, data))
        return nullptr;
    auto doc = std::make_unique<LibraryDocument>(GbkToUtf8);
    doc->Load(data);
    return doc;
}

}  // namespace korvex::cli
