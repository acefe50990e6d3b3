// Reading and writing the picture library file on Windows. A save writes a
// temporary file in the same folder, flushes it to the disk and moves it
// over the old file in one step (MoveFileEx, replacing, written through),
// so that the old file stays whole until the new one is complete.
#include "model/library_file.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <io.h>

#include "model/regular_file.h"

namespace korvex {

namespace {

LibraryWriteFn g_write;  // the Linux tests' seam; not used here

const char kDiskFull[] = "Disk full";
const char kNotRegular[] = "Not a regular file";
const char kAccessDenied[] = "File access denied";
const wchar_t kSavingInfix[] = L".saving.";

std::wstring Wide(const std::string &text)
{
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// The texts the Linux side gives for the same failures, the system's own
// description otherwise.
std::string Reason(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return kAccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return kDiskFull;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return std::strerror(ENOENT);
    default: break;
    }
    char text[256] = "";
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, text, sizeof text, nullptr);
    std::string out(text, n);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.'))
        out.pop_back();
    return out.empty() ? "error " + std::to_string(error) : out;
}

std::wstring FolderOf(const std::wstring &path)
{
    const size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash == 0 ? 1 : slash);
}

std::wstring BaseOf(const std::wstring &path)
{
    const size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Writes the whole image from the start of `file`, cuts the file to its
// size, flushes it to the disk and closes it in every case.
bool WriteFlushClose(HANDLE file, const std::string &image, std::string &error)
{
    bool ok = true;
    size_t done = 0;
    while (ok && done < image.size()) {
        DWORD wrote = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(image.size() - done, 1u << 20));
        if (!WriteFile(file, image.data() + done, chunk, &wrote, nullptr)) {
            error = Reason(GetLastError());
            ok = false;
        } else if (wrote == 0) {
            error = kDiskFull;
            ok = false;
        }
        done += wrote;
    }
    if (ok && !SetEndOfFile(file)) {
        error = Reason(GetLastError());
        ok = false;
    }
    if (ok && !FlushFileBuffers(file)) {
        error = Reason(GetLastError());
        ok = false;
    }
    CloseHandle(file);
    return ok;
}

// Rewrites `path` itself, over its old bytes (a folder that takes no new
// file may still hold a library file this user may write).
bool WriteInPlace(const std::wstring &path, const std::string &image, std::string &error)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = Reason(GetLastError());
        return false;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        error = kNotRegular;
        return false;
    }
    return WriteFlushClose(file, image, error);
}

// Removes the temporary files of saves of `base` whose process no longer
// exists (killed or crashed midway); a live process's file is its own.
void RemoveStaleTemporaries(const std::wstring &dir, const std::wstring &base)
{
    const std::wstring prefix = L"." + base + kSavingInfix;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((dir + L"\\" + prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring rest = std::wstring(found.cFileName).substr(prefix.size());
        const size_t dot = rest.find(L'.');
        if (dot == 0 || dot == std::wstring::npos || dot > 9 ||
            rest.find_first_not_of(L"0123456789.") != std::wstring::npos ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        const DWORD pid = static_cast<DWORD>(std::stoul(rest.substr(0, dot)));
        if (pid == GetCurrentProcessId())
            continue;
        const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        if (process) {
            DWORD code = 0;
            const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
            CloseHandle(process);
            if (running)
                continue;
        } else if (GetLastError() != ERROR_INVALID_PARAMETER) {
            continue;  // a process this user may not look at is taken as alive
        }
        DeleteFileW((dir + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

bool LoadLibraryFile(const std::string &path, LibraryData &data, std::string &error)
{
    bool notRegular = false;
    const int fd = OpenRegularFile(path, notRegular);
    if (fd < 0) {
        error = notRegular && errno != EISDIR ? kNotRegular : std::strerror(errno);
        if (errno == EACCES)
            error = kAccessDenied;
        return false;
    }
    // Bytes beyond the fixed size are ignored.
    std::string image(static_cast<size_t>(kLibraryFileSize), '\0');
    size_t got = 0;
    int readError = 0;
    while (got < image.size()) {
        const int r = _read(fd, &image[got], static_cast<unsigned>(image.size() - got));
        if (r < 0) {
            readError = errno;
            break;
        }
        if (r == 0)
            break;
        got += static_cast<size_t>(r);
    }
    _close(fd);
    return TakeLibraryImage(image, got, readError != 0 ? std::strerror(readError) : std::string(),
                            data, error);
}

bool SaveLibraryFile(const std::string &path, const LibraryData &data, std::string &error)
{
    const std::wstring target = Wide(path);
    const std::wstring dir = FolderOf(target);
    const std::string image = SerialiseLibrary(data);

    // Only a regular file or nothing is replaced; a read-only file is
    // refused as opening it for writing would refuse it.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool existing = attributes != INVALID_FILE_ATTRIBUTES;
    if (existing && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = std::strerror(EISDIR);
        return false;
    }
    if (existing && (attributes & FILE_ATTRIBUTE_READONLY)) {
        error = kAccessDenied;
        return false;
    }
    if (existing) {
        bool notRegular = false;
        const int fd = OpenRegularFile(path, notRegular);
        if (fd >= 0)
            _close(fd);
        else if (notRegular) {
            error = kNotRegular;
            return false;
        }
    }

    RemoveStaleTemporaries(dir, BaseOf(target));
    std::wstring temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = dir + L"\\." + BaseOf(target) + kSavingInfix +
               std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(attempt);
        file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD err = GetLastError();
        if (file == INVALID_HANDLE_VALUE && err != ERROR_FILE_EXISTS) {
            if (existing && err == ERROR_ACCESS_DENIED)
                return WriteInPlace(target, image, error);
            error = Reason(err);
            return false;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = Reason(ERROR_FILE_EXISTS);
        return false;
    }
    if (!WriteFlushClose(file, image, error)) {
        DeleteFileW(temp.c_str());
        return false;
    }
    if (!MoveFileExW(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD err = GetLastError();
        DeleteFileW(temp.c_str());
        if (existing && err == ERROR_ACCESS_DENIED)
            return WriteInPlace(target, image, error);
        error = Reason(err);
        return false;
    }
    return true;
}

void SetLibraryWriteForTest(LibraryWriteFn fn)
{
    g_write = std::move(fn);
}

}  // namespace korvex
