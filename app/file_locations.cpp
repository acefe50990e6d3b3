// The two layouts of the optional files, the folder a first save needs and
// whether a file to be written is already there.
#include "app/file_locations.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "app/platform.h"

namespace korvex {

namespace {

std::optional<FileLayout> g_testLayout;

// The product's own folder under one of the user's base folders.
QString UserFolder(QStandardPaths::StandardLocation base)
{
    return QStandardPaths::writableLocation(base) + QStringLiteral("/korvex/");
}

}  // namespace

FileLayout ActiveLayout()
{
    if (g_testLayout)
        return *g_testLayout;
#if KORVEX_INSTALLED_LAYOUT
    return FileLayout::Installed;
#else
    static const bool usable = PortableFolderUsable(QFileInfo(OwnExecutable()).path());
    return usable ? FileLayout::Portable : FileLayout::Installed;
#endif
}

void SetLayoutForTest(std::optional<FileLayout> layout)
{
    g_testLayout = layout;
}

FileLocations LocateFiles(FileLayout layout, const QString &exePath)
{
    if (layout == FileLayout::Installed) {
        const QString data = UserFolder(QStandardPaths::GenericDataLocation);
        const QString config = UserFolder(QStandardPaths::GenericConfigLocation);
        return {data + QStringLiteral("korvex.Ico"), config + QStringLiteral("korvex.Ini"),
                data + QStringLiteral("korvex.Dat")};
    }
    // The executable's path with its extension (if any) replaced.
    const QFileInfo info(exePath);
    QString stem = info.fileName();
    const int dot = stem.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        stem.truncate(dot);
    const QString base = info.dir().filePath(stem);
    return {base + QStringLiteral(".Ico"), base + QStringLiteral(".Ini"),
            base + QStringLiteral(".Dat")};
}

FileLocations CompanionFiles()
{
    const QString self = OwnExecutable();
    const QString folder = self.isEmpty() ? QStringLiteral(".") : QFileInfo(self).path();
    return LocateFiles(ActiveLayout(), folder + QStringLiteral("/korvex"));
}

void MakeUserDataFolder(const QString &library)
{
    // Only the user's own data folder is ever made; a library elsewhere
    // (beside the executable, or named with --library) needs its folder.
    const QString folder = UserFolder(QStandardPaths::GenericDataLocation);
    if (ActiveLayout() == FileLayout::Installed &&
        QFileInfo(library).absolutePath() + QLatin1Char('/') == folder)
        QDir().mkpath(folder);
}

bool PathTaken(const QString &path)
{
    // exists() follows a link; isSymLink() sees the link itself.
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString DefaultLibrary()
{
    return CompanionFiles().library;
}

}  // namespace korvex
