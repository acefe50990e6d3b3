// Where the desktop program and korvex-cli keep the three optional files:
// the icon (".Ico"), the settings (".Ini") and the picture library (".Dat").
// The build chooses one of two layouts (CMake option KORVEX_LAYOUT):
//   portable   beside the executable, named after it, as a copied folder
//              or a build tree has them;
//   installed  in the user's own folders, so that a program installed in a
//              system folder can save and every user has files of their own.
#pragma once

#include <QString>
#include <optional>

namespace korvex {

enum class FileLayout { Portable, Installed };

struct FileLocations {
    QString icon;      // the window's icon
    QString settings;  // [Setup] Title=... becomes the window's caption
    QString library;   // the pictures and the program
};

// The layout this build was made for, unless a test has chosen another.
FileLayout ActiveLayout();
// Test seam: makes ActiveLayout() return `layout`; nullopt restores the build's.
void SetLayoutForTest(std::optional<FileLayout> layout);

// The files of the program at `exePath` in `layout`:
//   portable   /opt/k/korvex -> /opt/k/korvex.Ico, /opt/k/korvex.Ini, /opt/k/korvex.Dat
//   installed  <data>/korvex/korvex.Ico and korvex.Dat, <config>/korvex/korvex.Ini, where
//              <data> is $XDG_DATA_HOME or ~/.local/share and <config> is
//              $XDG_CONFIG_HOME or ~/.config, whatever the executable is called.
FileLocations LocateFiles(FileLayout layout, const QString &exePath);

// The files korvex-cli shares with the desktop program in the active
// layout: those of a `korvex` in korvex-cli's own folder when portable.
FileLocations CompanionFiles();

// In the installed layout, makes the user's data folder (and its parents)
// when `library` is to be saved there and the folder is missing, so that a
// first save can create the file. Any other folder is left as it is, and a
// folder that cannot be made is left to the save to report.
void MakeUserDataFolder(const QString &library);

// True when anything is at `path`, a symbolic link included, dangling or
// not: a command that replaces a file only when told to must not replace
// a link that points nowhere (nor create what it points at) unasked.
bool PathTaken(const QString &path);

// korvex-cli's library when none is named: CompanionFiles().library.
QString DefaultLibrary();

}  // namespace korvex
