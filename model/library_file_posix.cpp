// Reading and writing the picture library file on Linux: a save goes
// through a temporary file that replaces the old one once flushed.
#include "model/library_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/regular_file.h"

namespace korvex {

namespace {

LibraryWriteFn g_write;

const char kDiskFull[] = "Disk full";
const char kNotRegular[] = "Not a regular file";
const char kSavingInfix[] = ".saving.";

// The operator knows a refused open by this text; other failures carry
// the system's own description.
std::string SystemReason(int err)
{
    if (err == EACCES || err == EPERM)
        return "File access denied";
    // A write past the file-size limit (with SIGXFSZ ignored) fails as a
    // full disk would.
    if (err == ENOSPC || err == EFBIG)
        return kDiskFull;
    return std::strerror(err);
}

std::string DirectoryOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string BaseOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Writes all of `data`; false with `error` set when the system refuses or
// takes fewer bytes than offered and then none.
bool WriteAll(int fd, const char *data, size_t n, std::string &error)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t w =
            g_write ? g_write(fd, data + done, n - done) : ::write(fd, data + done, n - done);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            error = SystemReason(errno);
            return false;
        }
        if (w == 0) {
            error = kDiskFull;
            return false;
        }
        done += static_cast<size_t>(w);
    }
    return true;
}

// Writes the whole image from the start of `fd`, cuts the file to its size,
// makes it durable and closes `fd` in every case.
bool WriteSyncClose(int fd, const std::string &image, std::string &error)
{
    bool ok = WriteAll(fd, image.data(), image.size(), error);
    if (ok && ::ftruncate(fd, static_cast<off_t>(image.size())) != 0) {
        error = SystemReason(errno);
        ok = false;
    }
    if (ok && ::fsync(fd) != 0) {
        error = SystemReason(errno);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        error = SystemReason(errno);
        ok = false;
    }
    return ok;
}

// Rewrites `path` itself, over its old bytes. The file is not truncated
// first: a library file always has the same size, so the new bytes take the
// place of the old ones and a full disk cannot take the blocks away midway;
// only a longer file is cut to size after the write.
bool WriteInPlace(const std::string &path, const std::string &image, std::string &error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = SystemReason(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = kNotRegular;
        return false;
    }
    return WriteSyncClose(fd, image, error);
}

// The temporary file a save of `base` by process `pid` writes (attempt n).
std::string TemporaryName(const std::string &dir, const std::string &base, pid_t pid, int attempt)
{
    return dir + "/." + base + kSavingInfix + std::to_string(pid) + "." + std::to_string(attempt);
}

// Removes the temporary files of saves of `base` whose process no longer
// exists (killed or crashed midway); a live process's file is its own.
void RemoveStaleTemporaries(const std::string &dir, const std::string &base)
{
    DIR *d = ::opendir(dir.c_str());
    if (!d)
        return;
    const std::string prefix = "." + base + kSavingInfix;
    while (const dirent *e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        // "<pid>.<attempt>", both decimal
        const std::string rest = name.substr(prefix.size());
        const size_t dot = rest.find('.');
        if (dot == 0 || dot == std::string::npos || dot > 9 || dot + 1 == rest.size() ||
            rest.find_first_not_of("0123456789.") != std::string::npos ||
            rest.find('.', dot + 1) != std::string::npos)
            continue;
        const pid_t pid = static_cast<pid_t>(std::stol(rest.substr(0, dot)));
        if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        const std::string path = dir + "/" + name;
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(path.c_str());
    }
    ::closedir(d);
}

}  // namespace

bool LoadLibraryFile(const std::string &path, LibraryData &data, std::string &error)
{
    bool notRegular = false;
    const int fd = OpenRegularFile(path, notRegular);
    if (fd < 0) {
        error = notRegular && errno != EISDIR ? kNotRegular : SystemReason(errno);
        return false;
    }
    // Bytes beyond the fixed size are ignored.
    std::string image(static_cast<size_t>(kLibraryFileSize), '\0');
    size_t got = 0;
    int readError = 0;
    while (got < image.size()) {
        const ssize_t r = ::read(fd, &image[got], image.size() - got);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            readError = errno;
            break;
        }
        if (r == 0)
            break;
        got += static_cast<size_t>(r);
    }
    ::close(fd);
    return TakeLibraryImage(image, got, readError != 0 ? SystemReason(readError) : std::string(),
                            data, error);
}

bool SaveLibraryFile(const std::string &path, const LibraryData &data, std::string &error)
{
    // Replace the file a symbolic link points at, not the link itself.
    std::string target = path;
    if (char *real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    const std::string dir = DirectoryOf(target);
    const std::string image = SerialiseLibrary(data);

    // A file the user may not write is refused as opening it for writing
    // would refuse it: the renamed temporary file must not get round a
    // write protection.
    struct stat old;
    const bool existing = ::stat(target.c_str(), &old) == 0;
    if (existing && !S_ISREG(old.st_mode)) {
        error = S_ISDIR(old.st_mode) ? SystemReason(EISDIR) : kNotRegular;
        return false;
    }
    if (existing && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        error = SystemReason(errno);
        return false;
    }

    RemoveStaleTemporaries(dir, BaseOf(target));
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = TemporaryName(dir, BaseOf(target), ::getpid(), attempt);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            // A folder that takes no new file may still hold a writable
            // library file: that is then rewritten in place, without the
            // protection of the temporary file.
            if (existing && (errno == EACCES || errno == EPERM))
                return WriteInPlace(target, image, error);
            error = SystemReason(errno);
            return false;
        }
    }
    if (fd < 0) {
        error = SystemReason(EEXIST);
        return false;
    }
    // Keep the permissions of the file being replaced.
    if (existing)
        (void)::fchmod(fd, old.st_mode & 07777);

    const bool ok = WriteSyncClose(fd, image, error);
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        // A folder with the sticky bit lets only a file's owner replace
        // it; a file the user may write is then rewritten in place.
        if (existing && (err == EACCES || err == EPERM))
            return WriteInPlace(target, image, error);
        error = SystemReason(err);
        return false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

void SetLibraryWriteForTest(LibraryWriteFn fn)
{
    g_write = std::move(fn);
}

}  // namespace korvex
