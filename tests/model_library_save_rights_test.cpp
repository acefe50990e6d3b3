// Saving the library file where the user's rights, not the disk, decide:
// a write-protected file is refused and kept, a writable file in a folder
// that takes no new files is still saved. Each case runs in a child
// process under an unprivileged user, since root may write anything.
#include <gtest/gtest.h>

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "model/library_file.h"

namespace korvex {
namespace {

constexpr uid_t kNobody = 65534;
constexpr int kCannotDropRights = 77;

std::string ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct ChildSave {
    bool ran = false;  // false: the rights could not be dropped
    bool ok = false;
    std::string error;
};

// Runs SaveLibraryFile(path, data) in a child that has given up root.
ChildSave SaveAsUser(const std::string &path, const LibraryData &data)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0))
            _exit(kCannotDropRights);
        std::string error;
        const bool ok = SaveLibraryFile(path, data, error);
        const std::string report = (ok ? "1" : "0") + error;
        (void)!::write(fds[1], report.data(), report.size());
        _exit(0);
    }
    ::close(fds[1]);
    std::string report;
    char buf[256];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        report.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ChildSave r;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || report.empty())
        return r;
    r.ran = true;
    r.ok = report[0] == '1';
    r.error = report.substr(1);
    return r;
}

class LibrarySaveRights : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/korvex-librights-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        path = dir + "/korvex.Dat";
        old = std::make_unique<LibraryData>();
        old->pictureCount = 2;
        std::string error;
        ASSERT_TRUE(SaveLibraryFile(path, *old, error)) << error;
        fresh = std::make_unique<LibraryData>();
        fresh->pictureCount = 9;
        fresh->programLength = 3;
    }
    void TearDown() override
    {
        chmod(dir.c_str(), 0700);
        if (DIR *d = opendir(dir.c_str())) {
            while (dirent *e = readdir(d)) {
                if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                    unlink((dir + "/" + e->d_name).c_str());
            }
            closedir(d);
        }
        rmdir(dir.c_str());
    }
    std::string dir, path;
    std::unique_ptr<LibraryData> old, fresh;
};

TEST_F(LibrarySaveRights, WriteProtectedFileIsRefusedAndKept)
{
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);  // the folder would take a new file
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    const std::string before = ReadAll(path);
    const ChildSave r = SaveAsUser(path, *fresh);
    if (!r.ran)
        GTEST_SKIP() << "could not run the save as an unprivileged user";
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "File access denied");
    EXPECT_TRUE(ReadAll(path) == before) << "the protected file was replaced";
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
}

TEST_F(LibrarySaveRights, WritableFileInAClosedFolderIsSaved)
{
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.c_str(), 0555), 0);  // no new file can be made here
    const ChildSave r = SaveAsUser(path, *fresh);
    if (!r.ran)
        GTEST_SKIP() << "could not run the save as an unprivileged user";
    EXPECT_TRUE(r.ok) << r.error;
    const std::string now = ReadAll(path);
    ASSERT_EQ(now.size(), size_t(kLibraryFileSize));
    EXPECT_EQ(now.substr(0, 2), std::string("\x09\x00", 2));
    EXPECT_EQ(now.substr(size_t(kProgramLengthOffset), 2), std::string("\x03\x00", 2));

    // Neither file nor folder writable: the system's reason.
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    const ChildSave refused = SaveAsUser(path, *old);
    ASSERT_TRUE(refused.ran);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error, "File access denied");
    EXPECT_TRUE(ReadAll(path) == now) << "the protected file was replaced";
}

TEST_F(LibrarySaveRights, WritableFileOfAnotherOwnerInAStickyFolderIsSaved)
{
    // As in /tmp: anyone may add files, only a file's owner may replace it.
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.c_str(), 01777), 0);
    const ChildSave r = SaveAsUser(path, *fresh);
    if (!r.ran)
        GTEST_SKIP() << "could not run the save as an unprivileged user";
    EXPECT_TRUE(r.ok) << r.error;
    const std::string now = ReadAll(path);
    ASSERT_EQ(now.size(), size_t(kLibraryFileSize));
    EXPECT_EQ(now.substr(0, 2), std::string("\x09\x00", 2));
    DIR *d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr);
    int entries = 0;
    while (dirent *e = readdir(d))
        entries += std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..");
    closedir(d);
    EXPECT_EQ(entries, 1);  // no temporary file left behind
}

}  // namespace
}  // namespace korvex
