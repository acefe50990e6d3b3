// Finding and loading the library file for korvex-cli.
#include "cli/library_access.h"

#include "app/file_locations.h"
#include "app/gbk_text.h"
#include "app/library_store.h"
#include "app/picture_name.h"
#include "cli/cli.h"

namespace korvex::cli {

std::string LibraryPath(const ParsedArgs &args)
{
    if (args.Has("library"))
        return args.Get("library");
    return DefaultLibrary().toLocal8Bit().toStdString();
}

bool LoadLibrary(const std::string &path, LibraryData &data, bool missingIsEmpty)
{
    const OpenedLibrary opened = OpenLibraryFile(path, data, missingIsEmpty);
    if (!opened.message.empty())
        Error(opened.message);
    return opened.message.empty();
}

std::unique_ptr<LibraryDocument> OpenLibrary(const std::string &path, LibraryData &data,
                                             bool missingIsEmpty)
{
    if (!LoadLibrary(path, data, missingIsEmpty))
        return nullptr;
    auto doc = std::make_unique<LibraryDocument>(GbkToUtf8);
    doc->Load(data);
    return doc;
}

bool SaveLibrary(const std::string &path, const LibraryDocument &doc, LibraryData &data)
{
    doc.Store(data);
    return SaveData(path, data);
}

bool SaveData(const std::string &path, const LibraryData &data)
{
    const SavedLibrary saved = SaveLibraryData(path, data);
    if (!saved.ok)
        Error(saved.message);
    return saved.ok;
}

bool NameToGbk(const std::string &utf8, std::string &gbk)
{
    const NameVerdict verdict = JudgePictureName(utf8);
    if (verdict.fault != NameFault::None) {
        Error(NameFaultText(verdict));
        return false;
    }
    gbk = verdict.gbk;
    return true;
}

}  // namespace korvex::cli
