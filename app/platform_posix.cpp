// The Linux answers of platform.h.
#include "app/platform.h"

#include <QFileInfo>
#include <csignal>
#include <unistd.h>

namespace korvex {

QString OwnExecutable()
{
    // The real executable, through any link to it, as the kernel knows it.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

bool PortableFolderUsable(const QString &)
{
    return true;
}

void PrepareProcess()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

char **Utf8Arguments(int, char **argv)
{
    return argv;
}

bool IsTerminal(std::FILE *stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

}  // namespace korvex
