// Reading and writing the picture library file with explicit little-endian
// serialisation, and the name field of a picture record.
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

const char kShortFile[] = "Read beyond end of file";
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

void PutU16(std::string &out, size_t at, uint16_t v)
{
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>(v >> 8);
}

uint16_t GetU16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void PutRecord(std::string &out, size_t at, const PictureRecord &rec)
{
    for (int k = 0; k < kColours; ++k) {
        const uint32_t c = rec.colours[k];
        for (int i = 0; i < 4; ++i)
            out[at + 4 * k + i] = static_cast<char>((c >> (8 * i)) & 0xFF);
    }
    size_t p = at + 4 * kColours;
    out[p++] = static_cast<char>(rec.nameLength);
    for (int i = 0; i < kNameField; ++i)
        out[p++] = rec.name[i];
    out[p] = static_cast<char>(rec.reserved);
}

void GetRecord(const uint8_t *p, PictureRecord &rec)
{
    for (int k = 0; k < kColours; ++k) {
        const uint8_t *c = p + 4 * k;
        rec.colours[k] = uint32_t(c[0]) | (uint32_t(c[1]) << 8) | (uint32_t(c[2]) << 16) |
                         (uint32_t(c[3]) << 24);
    }
    p += 4 * kColours;
    rec.nameLength = *p++;
    std::memcpy(rec.name, p, kNameField);
    p += kNameField;
    rec.reserved = *p;
}

// A stored count as the reader lists it: a negative 16-bit value lists
// nothing, a value above the table is cut to the table's size.
int ListedCount(uint16_t stored, int max, bool &clamped)
{
    const int v = static_cast<int16_t>(stored);
    if (v < 0)
        return 0;
    if (v > max) {
        clamped = true;
        return max;
    }
    return v;
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

std::optional<CountFault> FindDamagedCount(const LibraryData &data)
{
    if (data.storedPictureCount > kMaxPictures)
        return CountFault{CountField::PictureCount, data.storedPictureCount, kMaxPictures};
    if (data.storedProgramLength > kMaxProgram)
        return CountFault{CountField::ProgramLength, data.storedProgramLength, kMaxProgram};
    return std::nullopt;
}

std::string SerialiseLibrary(const LibraryData &data)
{
    std::string out(static_cast<size_t>(kLibraryFileSize), '\0');
    const int pictures = std::clamp(data.pictureCount, 0, kMaxPictures);
    const int program = std::clamp(data.programLength, 0, kMaxProgram);
    PutU16(out, 0, static_cast<uint16_t>(pictures));
    for (int i = 0; i < kMaxPictures; ++i)
        PutRecord(out, kPictureRecordsOffset + i * kPictureRecordSize, data.pictures[i]);
    PutU16(out, kProgramLengthOffset, static_cast<uint16_t>(program));
    for (int e = 0; e < kMaxProgram; ++e) {
        const size_t at = kProgramEntriesOffset + 3 * e;
        out[at] = static_cast<char>(data.program[e].picture);
        out[at + 1] = static_cast<char>(data.program[e].effect);
        out[at + 2] = static_cast<char>(data.program[e].value);
    }
    return out;
}

// Parses in file order, as far as the bytes go: the picture count, the
// records, the program length, the entries. Each part is taken only when
// it is complete.
bool ParseLibraryImage(const uint8_t *bytes, size_t size, LibraryData &data)
{
    data.countsClamped = false;
    data.storedPictureCount = data.storedProgramLength = 0;
    if (size < 2)
        return false;
    data.storedPictureCount = GetU16(bytes);
    data.pictureCount = ListedCount(data.storedPictureCount, kMaxPictures, data.countsClamped);
    for (int i = 0; i < kMaxPictures; ++i) {
        const size_t at = kPictureRecordsOffset + size_t(i) * kPictureRecordSize;
        if (at + kPictureRecordSize > size)
            return false;
        GetRecord(bytes + at, data.pictures[i]);
    }
    if (size < size_t(kProgramEntriesOffset))
        return false;
    data.storedProgramLength = GetU16(bytes + kProgramLengthOffset);
    data.programLength = ListedCount(data.storedProgramLength, kMaxProgram, data.countsClamped);
    for (int e = 0; e < kMaxProgram; ++e) {
        const size_t at = kProgramEntriesOffset + 3 * size_t(e);
        if (at + 3 > size)
            return false;
        data.program[e] = ProgramEntry{bytes[at], bytes[at + 1], bytes[at + 2]};
    }
    return true;
}

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
    const bool complete =
        ParseLibraryImage(reinterpret_cast<const uint8_t *>(image.data()), got, data);
    if (readError != 0) {
        error = SystemReason(readError);
        return false;
    }
    if (!complete) {
        error = kShortFile;
        return false;
    }
    return true;
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

void StoreName(PictureRecord &record, const std::string &gbk)
{
    const size_t n = std::min(gbk.size(), size_t(kNameField));
    record.nameLength = static_cast<uint8_t>(n);
    std::memcpy(record.name, gbk.data(), n);
}

std::string NameOf(const PictureRecord &record)
{
    const size_t n = std::min<size_t>(record.nameLength, kNameField);
    return std::string(record.name, n);
}

void SetLibraryWriteForTest(LibraryWriteFn fn)
{
    g_write = std::move(fn);
}

}  // namespace korvex
