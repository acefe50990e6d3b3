// The picture library file: fixed size and layout, short and foreign files,
// counts outside the tables, and saves that must never lose the old file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "model/library_file.h"

namespace korvex {
namespace {

std::string ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> Entries(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d)) {
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        }
        closedir(d);
    }
    return names;
}

class LibraryFile : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/korvex-libfile-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        path = dir + "/korvex.Dat";
    }
    void TearDown() override
    {
        SetLibraryWriteForTest(nullptr);
        chmod(dir.c_str(), 0700);
        for (const std::string &n : Entries(dir))
            unlink((dir + "/" + n).c_str());
        rmdir(dir.c_str());
    }
    std::unique_ptr<LibraryData> Data()
    {
        auto d = std::make_unique<LibraryData>();
        return d;
    }
    std::string dir, path;
};

TEST_F(LibraryFile, SizeAndCountFieldsWhateverTheCounts)
{
    auto d = Data();
    std::string error;
    ASSERT_TRUE(SaveLibraryFile(path, *d, error)) << error;
    const std::string empty = ReadAll(path);
    ASSERT_EQ(empty.size(), size_t(kLibraryFileSize));
    EXPECT_EQ(empty, std::string(size_t(kLibraryFileSize), '\0'));

    d->pictureCount = 3;
    ASSERT_TRUE(SaveLibraryFile(path, *d, error)) << error;
    std::string f = ReadAll(path);
    ASSERT_EQ(f.size(), size_t(kLibraryFileSize));
    EXPECT_EQ(f.substr(0, 2), std::string("\x03\x00", 2));
    EXPECT_EQ(f.substr(993654, 2), std::string("\x00\x00", 2));

    d->pictureCount = 121;
    d->programLength = 512;
    ASSERT_TRUE(SaveLibraryFile(path, *d, error)) << error;
    f = ReadAll(path);
    ASSERT_EQ(f.size(), size_t(kLibraryFileSize));
    EXPECT_EQ(f.substr(0, 2), std::string("\x79\x00", 2));
    EXPECT_EQ(f.substr(993654, 2), std::string("\x00\x02", 2));
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"korvex.Dat"});
}

TEST_F(LibraryFile, RecordsAndEntriesLittleEndianAtTheirOffsets)
{
    auto d = Data();
    d->pictureCount = 2;
    d->programLength = 1;
    d->pictures[1].colours[0] = 0x00302010;
    d->pictures[1].colours[2047] = 0x00F0E0D0;
    StoreName(d->pictures[1], "abc");
    d->pictures[1].reserved = 0x5A;
    d->pictures[120].colours[5] = 0x00010203;  // beyond the count: written anyway
    d->program[0] = {1, 6, 17};
    d->program[511] = {7, 8, 9};
    std::string error;
    ASSERT_TRUE(SaveLibraryFile(path, *d, error)) << error;
    const std::string f = ReadAll(path);
    const size_t rec1 = 2 + 8212;
    EXPECT_EQ(f.substr(rec1, 4), std::string("\x10\x20\x30\x00", 4));
    EXPECT_EQ(f.substr(rec1 + 4 * 2047, 4), std::string("\xD0\xE0\xF0\x00", 4));
    EXPECT_EQ(f.substr(rec1 + 8192, 4), std::string("\x03"
                                                    "abc",
                                                    4));
    EXPECT_EQ(uint8_t(f[rec1 + 8211]), 0x5A);
    EXPECT_EQ(f.substr(2 + 120 * 8212 + 20, 4), std::string("\x03\x02\x01\x00", 4));
    EXPECT_EQ(f.substr(993656, 3), std::string("\x01\x06\x11", 3));
    EXPECT_EQ(f.substr(993656 + 511 * 3, 3), std::string("\x07\x08\x09", 3));

    auto back = Data();
    ASSERT_TRUE(LoadLibraryFile(path, *back, error)) << error;
    EXPECT_EQ(back->pictureCount, 2);
    EXPECT_EQ(back->programLength, 1);
    EXPECT_EQ(0, std::memcmp(back->pictures.data(), d->pictures.data(), sizeof d->pictures));
    EXPECT_EQ(0, std::memcmp(back->program.data(), d->program.data(), sizeof d->program));
}

// A file made byte by byte, the way another program would write it.
TEST_F(LibraryFile, FileFromAnIndependentWriterLoads)
{
    std::string f;
    auto u16 = [&](unsigned v) {
        f += char(v & 0xFF);
        f += char(v >> 8);
    };
    u16(2);
    for (int i = 0; i < 121; ++i) {
        for (int k = 0; k < 2048; ++k) {
            const uint32_t c = i < 2 ? ((k & 0xF0) | ((i * 16u) << 8)) : 0;
            for (int s = 0; s < 32; s += 8)
                f += char((c >> s) & 0xFF);
        }
        const std::string name = i == 0 ? "\xBA\xEC\xC9\xAB" : (i == 1 ? "b" : "");
        f += char(name.size());
        f += name + std::string(18 - name.size(), '\0');
        f += '\0';
    }
    u16(2);
    for (int e = 0; e < 512; ++e) {
        f += char(e < 2 ? e : 0);
        f += char(e < 2 ? 3 : 0);
        f += char(e < 2 ? 31 : 0);
    }
    ASSERT_EQ(f.size(), size_t(kLibraryFileSize));
    f += "trailing bytes are ignored";
    WriteFile(path, f);

    auto d = Data();
    std::string error;
    ASSERT_TRUE(LoadLibraryFile(path, *d, error)) << error;
    EXPECT_EQ(d->pictureCount, 2);
    EXPECT_EQ(d->programLength, 2);
    EXPECT_EQ(NameOf(d->pictures[0]), "\xBA\xEC\xC9\xAB");
    EXPECT_EQ(NameOf(d->pictures[1]), "b");
    EXPECT_EQ(d->pictures[1].colours[0x35], 0x1030u);
    EXPECT_EQ(d->program[1].picture, 1);
    EXPECT_EQ(d->program[1].effect, 3);
    EXPECT_EQ(d->program[1].value, 31);
    EXPECT_FALSE(d->countsClamped);
    EXPECT_FALSE(FindDamagedCount(*d));
}

TEST_F(LibraryFile, ShortOrUnreadableFileGivesItsText)
{
    WriteFile(path, std::string(size_t(kLibraryFileSize - 1), '\0'));
    auto d = Data();
    std::string error;
    EXPECT_FALSE(LoadLibraryFile(path, *d, error));
    EXPECT_EQ(error, "Read beyond end of file");

    WriteFile(path, "");
    EXPECT_FALSE(LoadLibraryFile(path, *d, error));
    EXPECT_EQ(error, "Read beyond end of file");

    EXPECT_FALSE(LoadLibraryFile(dir, *d, error));  // a folder is no file
    EXPECT_EQ(error, std::strerror(EISDIR));
    EXPECT_FALSE(LoadLibraryFile(dir + "/missing.Dat", *d, error));
    EXPECT_EQ(error, std::strerror(ENOENT));
}

TEST_F(LibraryFile, CountsOutsideTheTablesListNothingOrAreCut)
{
    std::string f(size_t(kLibraryFileSize), '\0');
    f[0] = '\x00';
    f[1] = '\x80';  // -32768
    f[993654] = '\xFF';
    f[993655] = '\xFF';  // -1
    WriteFile(path, f);
    auto d = Data();
    std::string error;
    ASSERT_TRUE(LoadLibraryFile(path, *d, error)) << error;
    EXPECT_EQ(d->pictureCount, 0);
    EXPECT_EQ(d->programLength, 0);
    EXPECT_FALSE(d->countsClamped);
    EXPECT_EQ(d->storedPictureCount, 0x8000);
    EXPECT_EQ(d->storedProgramLength, 0xFFFF);

    f[0] = '\x7A';  // 122
    f[1] = '\x00';
    f[993654] = '\xFF';
    f[993655] = '\x7F';  // 32767
    WriteFile(path, f);
    ASSERT_TRUE(LoadLibraryFile(path, *d, error)) << error;
    EXPECT_EQ(d->pictureCount, 121);
    EXPECT_EQ(d->programLength, 512);
    EXPECT_TRUE(d->countsClamped);
}

// The raw counts tell a caller what the window's reading hides: the first
// count a library cannot hold, top bit set or just above the table.
TEST_F(LibraryFile, DamagedCountNamesTheFirstFieldAndItsStoredValue)
{
    struct Case {
        uint16_t pictures, program;
        std::optional<CountField> field;  // none: not damaged
        int value;
    };
    const Case cases[] = {
        {121, 512, std::nullopt, 0},
        {0, 0, std::nullopt, 0},
        {122, 0, CountField::PictureCount, 122},
        {0x8000, 0, CountField::PictureCount, 0x8000},
        {0xFFFF, 0xFFFF, CountField::PictureCount, 0xFFFF},
        {3, 513, CountField::ProgramLength, 513},
        {3, 0x8000, CountField::ProgramLength, 0x8000},
    };
    for (const Case &c : cases) {
        std::string f(size_t(kLibraryFileSize), '\0');
        f[0] = char(c.pictures & 0xFF);
        f[1] = char(c.pictures >> 8);
        f[993654] = char(c.program & 0xFF);
        f[993655] = char(c.program >> 8);
        WriteFile(path, f);
        auto d = Data();
        std::string error;
        ASSERT_TRUE(LoadLibraryFile(path, *d, error)) << error;
        const std::optional<CountFault> damage = FindDamagedCount(*d);
        SCOPED_TRACE(std::to_string(c.pictures) + "/" + std::to_string(c.program));
        ASSERT_EQ(damage.has_value(), c.field.has_value());
        if (c.field) {
            EXPECT_EQ(damage->field, *c.field);
            EXPECT_EQ(damage->value, c.value);
        }
    }
}

TEST_F(LibraryFile, NameFieldNeverReadOrWrittenPastItsEighteenBytes)
{
    auto d = Data();
    PictureRecord &r = d->pictures[0];
    std::memcpy(r.name, "old-long-name-1234", 18);
    r.reserved = 0x77;
    StoreName(r, "new");
    EXPECT_EQ(r.nameLength, 3);
    EXPECT_EQ(std::string(r.name, 18), "new-long-name-1234");  // leftovers kept
    StoreName(r, std::string(30, 'x'));
    EXPECT_EQ(r.nameLength, 18);
    EXPECT_EQ(r.reserved, 0x77);
    r.nameLength = 255;
    EXPECT_EQ(NameOf(r), std::string(18, 'x'));
}

TEST_F(LibraryFile, FailedSaveKeepsTheOldFile)
{
    auto d = Data();
    d->pictureCount = 1;
    StoreName(d->pictures[0], "keep");
    std::string error;
    ASSERT_TRUE(SaveLibraryFile(path, *d, error)) << error;
    const std::string before = ReadAll(path);

    auto changed = Data();
    changed->pictureCount = 5;

    // The disk takes part of the file and then nothing more.
    size_t taken = 0;
    SetLibraryWriteForTest([&](int fd, const void *buf, size_t n) -> ssize_t {
        if (taken >= 400000)
            return 0;
        const size_t k = std::min<size_t>(n, 400000 - taken);
        taken += k;
        return ::write(fd, buf, k);
    });
    EXPECT_FALSE(SaveLibraryFile(path, *changed, error));
    EXPECT_EQ(error, "Disk full");
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"korvex.Dat"});

    // An I/O error half way.
    SetLibraryWriteForTest([](int, const void *, size_t) -> ssize_t {
        errno = EIO;
        return -1;
    });
    EXPECT_FALSE(SaveLibraryFile(path, *changed, error));
    EXPECT_EQ(error, std::strerror(EIO));
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"korvex.Dat"});
    SetLibraryWriteForTest(nullptr);

    // The file cannot be replaced: the name is taken by a folder.
    const std::string blocked = dir + "/blocked.Dat";
    ASSERT_EQ(mkdir(blocked.c_str(), 0700), 0);
    WriteFile(blocked + "/x", "x");
    EXPECT_FALSE(SaveLibraryFile(blocked, *changed, error));
    EXPECT_FALSE(error.empty());
    unlink((blocked + "/x").c_str());
    rmdir(blocked.c_str());
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"korvex.Dat"});

    // The folder is gone.
    EXPECT_FALSE(SaveLibraryFile(dir + "/gone/korvex.Dat", *changed, error));
    EXPECT_EQ(error, std::strerror(ENOENT));
}

// Neither a FIFO nor a device at the library's place is read (a FIFO would
// block until a writer comes, a device reads endlessly) or replaced by a
// save (as root that would replace the device itself).
TEST_F(LibraryFile, OnlyARegularFileIsReadOrReplaced)
{
    const std::string fifo = dir + "/fifo.Dat";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> specials = {fifo};
    // A device node of its own (the null device's numbers), so that a save
    // that wrongly replaced it would not touch the system's /dev.
    const std::string device = dir + "/device.Dat";
    if (mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0)
        specials.push_back(device);
    const std::string link = dir + "/link.Dat";
    ASSERT_EQ(symlink(specials.back().c_str(), link.c_str()), 0);
    specials.push_back(link);

    // A reader blocked on the FIFO is released after 3 s, so a wrong
    // reader shows as slow instead of hanging the test.
    std::atomic<bool> done{false};
    std::thread release([&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!done && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        while (!done) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    auto d = Data();
    d->pictureCount = 1;
    for (const std::string &p : specials) {
        SCOPED_TRACE(p);
        struct stat before;
        ASSERT_EQ(lstat(p.c_str(), &before), 0);
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(LoadLibraryFile(p, *d, error));
        EXPECT_EQ(error, "Not a regular file");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        error.clear();
        EXPECT_FALSE(SaveLibraryFile(p, *d, error));
        EXPECT_EQ(error, "Not a regular file");
        struct stat after;
        ASSERT_EQ(lstat(p.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_ino, before.st_ino);
    }
    done = true;
    release.join();
    struct stat st;
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// A save killed midway leaves its temporary file; the next save removes it
// once its process is gone, and leaves a live process's alone.
TEST_F(LibraryFile, SaveRemovesTheTemporaryFilesOfDeadSaves)
{
    const pid_t dead = fork();
    if (dead == 0)
        _exit(0);
    ASSERT_GT(dead, 0);
    ASSERT_EQ(waitpid(dead, nullptr, 0), dead);
    const std::string stale = dir + "/.korvex.Dat.saving." + std::to_string(dead) + ".0";
    const std::string live = dir + "/.korvex.Dat.saving." + std::to_string(getppid()) + ".0";
    const std::string other = dir + "/.other.Dat.saving." + std::to_string(dead) + ".0";
    for (const std::string &p : {stale, live, other})
        WriteFile(p, "half a library");

    auto d = Data();
    std::string error;
    ASSERT_TRUE(SaveLibraryFile(path, *d, error)) << error;
    std::vector<std::string> names = Entries(dir);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{
                         ".korvex.Dat.saving." + std::to_string(getppid()) + ".0",
                         ".other.Dat.saving." + std::to_string(dead) + ".0", "korvex.Dat"}));
}

TEST_F(LibraryFile, SaveKeepsPermissionsAndReplacesThroughALink)
{
    auto d = Data();
    std::string error;
    ASSERT_TRUE(SaveLibraryFile(path, *d, error)) << error;
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    const std::string link = dir + "/link.Dat";
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    d->pictureCount = 7;
    ASSERT_TRUE(SaveLibraryFile(link, *d, error)) << error;
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(ReadAll(path).substr(0, 2), std::string("\x07\x00", 2));
}

}  // namespace
}  // namespace korvex
