// Finding and loading the library file for korvex-cli.
#include "cli/library_access.h"

#include <QFileInfo>
#include <QString>

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
        Error("the library file " + path + " is damaged: its " + CountFieldName(damage->field) +
              " is " + std::to_string(damage->value) + ", above " + std::to_string(damage->limit));
        return false;
    }
    return true;
}

std::unique_ptr<LibraryDocument> OpenLibrary(const std::string &path, LibraryData &data,
                                             bool missingIsEmpty)
{
    const bool exists = QFileInfo::exists(QString::fromLocal8Bit(path.c_str()));
    if ((exists || !missingIsEmpty) && !LoadLibrary(path, data))
        return nullptr;
    auto doc = std::make_unique<LibraryDocument>(GbkToUtf8);
    doc->Load(data);
    return doc;
}

bool SaveLibrary(const std::string &path, const LibraryDocument &doc, LibraryData &data)
{
    doc.Store(data);
    MakeUserDataFolder(QString::fromLocal8Bit(path.c_str()));
    std::string error;
    if (!SaveLibraryFile(path, data, error)) {
        Error("cannot write the library file " + path + ": " + error);
        return false;
    }
    return true;
}

bool NameToGbk(const std::string &utf8, std::string &gbk)
{
    gbk = Utf8ToGbk(utf8);
    if (GbkToUtf8(gbk) != utf8) {
        Error("the name holds characters the GBK code page cannot store");
        return false;
    }
    if (static_cast<int>(gbk.size()) > kNameTyped) {
        Error("the name takes " + std::to_string(gbk.size()) +
              " bytes in GBK; at most 15 are allowed");
        return false;
    }
    return true;
}

}  // namespace korvex::cli
