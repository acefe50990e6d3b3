#include "model/regular_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvex {

namespace {

void Refuse(const struct stat &st, bool &notRegular)
{
    notRegular = true;
    errno = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
}

}  // namespace

int OpenRegularFile(const std::string &path, bool &notRegular)
{
    notRegular = false;
    // Looked at before the open, so that no device or FIFO is ever opened.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    if (!S_ISREG(st.st_mode)) {
        Refuse(st, notRegular);
        return -1;
    }
    // The name may have been replaced since: an open that cannot block,
    // then the same question about what was actually opened.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
        ::close(fd);
        Refuse(st, notRegular);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

}  // namespace korvex
