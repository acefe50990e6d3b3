// Opening and saving the library file for the window and korvex-cli.
#include "app/library_store.h"

#include <QFileInfo>
#include <QString>

#include "app/file_locations.h"

namespace korvex {

OpenedLibrary OpenLibraryFile(const std::string &path, LibraryData &data, bool missingIsEmpty)
{
    OpenedLibrary out;
    if (missingIsEmpty && !QFileInfo::exists(QString::fromLocal8Bit(path.c_str()))) {
        data.pictureCount = data.programLength = 0;
        out.opening = LibraryOpening::Missing;
        return out;
    }
    if (!LoadLibraryFile(path, data, out.reason)) {
        // Whatever was read stays in memory, as a straight read into the
        // tables would leave it; nothing is listed.
        data.pictureCount = data.programLength = 0;
        out.opening = LibraryOpening::Unreadable;
        out.message = "cannot read the library file " + path + ": " + out.reason;
        return out;
    }
    // The window would list a damaged count as nothing or cut it; a command
    // acting on such a file would send or overwrite the wrong pictures.
    if (const auto damage = FindDamagedCount(data)) {
        out.opening = LibraryOpening::Damaged;
        out.message = "the library file " + path + " is damaged: its " +
                      CountFieldName(damage->field) + " is " + std::to_string(damage->value) +
                      ", above " + std::to_string(damage->limit);
    }
    return out;
}

SavedLibrary SaveLibraryData(const std::string &path, const LibraryData &data)
{
    SavedLibrary out;
    MakeUserDataFolder(QString::fromLocal8Bit(path.c_str()));
    out.ok = SaveLibraryFile(path, data, out.reason);
    if (!out.ok)
        out.message = "cannot write the library file " + path + ": " + out.reason;
    return out;
}

}  // namespace korvex
