// The Windows answers of platform.h.
#include "app/platform.h"

#include <windows.h>

#include <QDir>
#include <QTemporaryFile>
#include <io.h>
#include <vector>

namespace korvex {

QString OwnExecutable()
{
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return QString();
        if (n < path.size())
            return QDir::fromNativeSeparators(
                QString::fromWCharArray(path.data(), static_cast<int>(n)));
        path.resize(path.size() * 2);
    }
}

bool PortableFolderUsable(const QString &folder)
{
    // A folder's attributes do not tell whether this user may add files to
    // it (that is its access list), so a file is made there and removed.
    QTemporaryFile probe(folder + QStringLiteral("/korvex-XXXXXX.tmp"));
    return probe.open();
}

void FailWritesPastSizeLimit() {}

bool IsTerminal(std::FILE *stream)
{
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

}  // namespace korvex
