// The Windows answers of platform.h.
#include "app/platform.h"

#include <windows.h>

#include <QDir>
#include <QTemporaryFile>
#include <io.h>
#include <shellapi.h>
#include <string>
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

void PrepareProcess()
{
    SetConsoleOutputCP(CP_UTF8);
}

char **Utf8Arguments(int argc, char **argv)
{
    static std::vector<std::string> text;
    static std::vector<char *> pointers;
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide || count != argc) {
        LocalFree(wide);
        return argv;
    }
    text.clear();
    for (int i = 0; i < count; ++i)
        text.push_back(QString::fromWCharArray(wide[i]).toStdString());
    LocalFree(wide);
    pointers.clear();
    for (std::string &t : text)
        pointers.push_back(t.data());
    pointers.push_back(nullptr);
    return pointers.data();
}

bool IsTerminal(std::FILE *stream)
{
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

}  // namespace korvex
