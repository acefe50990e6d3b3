// OpenRegularFile on Windows: the UTF-8 name as the system's wide name,
// looked at before it is opened so that a device ("COM1", "NUL") or a
// folder never is, and opened for reading in binary mode.
#include "model/regular_file.h"

#include <windows.h>

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace korvex {

namespace {

std::wstring WideName(const std::string &path)
{
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), out.data(), n);
    return out;
}

bool Refuse(const struct _stat64 &st, bool &notRegular)
{
    if ((st.st_mode & _S_IFMT) == _S_IFREG)
        return false;
    notRegular = true;
    errno = (st.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : ENXIO;
    return true;
}

}  // namespace

int OpenRegularFile(const std::string &path, bool &notRegular)
{
    notRegular = false;
    const std::wstring name = WideName(path);
    struct _stat64 st;
    if (_wstat64(name.c_str(), &st) != 0 || Refuse(st, notRegular))
        return -1;
    const int fd = _wopen(name.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0)
        return -1;
    if (_fstat64(fd, &st) == 0 && Refuse(st, notRegular)) {
        _close(fd);
        return -1;
    }
    return fd;
}

}  // namespace korvex
