// The few things the programs ask of the system that differ between Linux
// (platform_posix.cpp) and Windows (platform_win.cpp).
#pragma once

#include <QString>
#include <cstdio>

namespace korvex {

// The running program's own file, through any link to it; empty when the
// system does not say.
QString OwnExecutable();

// Whether a portable copy of the program may keep its files in `folder`
// (the executable's own). Linux keeps them there always; on Windows a
// folder this user may not create files in (Program Files) sends them to
// the user's own data folder instead.
bool PortableFolderUsable(const QString &folder);

// Sets the process up before anything else runs. Linux: a write past the
// process's file-size limit fails as "Disk full" instead of ending the
// program. Windows: the console shows the UTF-8 text the programs write.
void PrepareProcess();

// The program's arguments as UTF-8, as every file name is passed within
// the programs: `argv` itself on Linux; on Windows, whose `argv` is in the
// ANSI code page that cannot hold every name, the wide command line
// converted. Valid while the program runs.
char **Utf8Arguments(int argc, char **argv);

// Whether `stream` is a terminal (a console window on Windows), where
// progress is drawn in place.
bool IsTerminal(std::FILE *stream);

}  // namespace korvex
