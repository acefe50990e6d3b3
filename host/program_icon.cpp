#include "host/program_icon.h"

#include <QDirIterator>

namespace korvex {

QIcon ProgramIcon()
{
    // Every size of the hicolor theme's PNGs, so each use gets a sharp one.
    QIcon icon;
    QDirIterator it(QStringLiteral(":/korvex"), {QStringLiteral("*.png")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        icon.addFile(it.next());
    return icon;
}

}  // namespace korvex
