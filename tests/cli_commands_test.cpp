// korvex-cli run as a subprocess against the simulated controller: exit
// statuses, messages, and what each subcommand leaves in the controller.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "model/encoders.h"
#include "model/library_file.h"
#include "tests/support/sim_port.h"

namespace korvex {
namespace {

// korvex-cli and `args` as execv takes them.
class CommandLine {
public:
    explicit CommandLine(const std::vector<std::string> &args) : all_{KORVEX_CLI}
    {
        all_.insert(all_.end(), args.begin(), args.end());
        for (std::string &a : all_)
            argv_.push_back(a.data());
        argv_.push_back(nullptr);
    }
    [[noreturn]] void Exec()
    {
        execv(argv_[0], argv_.data());
        _exit(127);
    }

private:
    std::vector<std::string> all_;
    std::vector<char *> argv_;
};

struct CliRun {
    int status = -1;  // exit status, or -1 when it did not end in time
    std::string out, err;
};

// Runs korvex-cli with `args`; kills it and reports -1 after `seconds`.
CliRun Cli(const std::vector<std::string> &args, int seconds = 30)
{
    CliRun r;
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return r;
    CommandLine command(args);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        close(outPipe[0]);
        close(errPipe[0]);
        command.Exec();
    }
    close(outPipe[1]);
    close(errPipe[1]);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    bool timedOut = false;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              until - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        if (poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd &f : fds)
        if (f.fd >= 0)
            close(f.fd);
    if (timedOut)
        kill(pid, SIGKILL);
    int ws = 0;
    waitpid(pid, &ws, 0);
    if (!timedOut && WIFEXITED(ws))
        r.status = WEXITSTATUS(ws);
    return r;
}

// Runs korvex-cli with its standard output on a terminal (a raw pty, so
// nothing is translated) and returns what it printed there; -1 after 30 s.
CliRun CliOnTerminal(const std::vector<std::string> &args)
{
    CliRun r;
    int master = -1, slave = -1;
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0)
        return r;
    CommandLine command(args);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(slave, STDOUT_FILENO);
        close(master);
        command.Exec();
    }
    close(slave);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    pollfd pfd = {master, POLLIN, 0};
    while (std::chrono::steady_clock::now() < until && poll(&pfd, 1, 100) >= 0) {
        if (!(pfd.revents & (POLLIN | POLLHUP)))
            continue;
        char buf[4096];
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0)
            break;  // EIO once the program has closed the terminal
        r.out.append(buf, static_cast<size_t>(n));
    }
    close(master);
    int ws = 0;
    if (waitpid(pid, &ws, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &ws, 0);
        return r;
    }
    if (WIFEXITED(ws))
        r.status = WEXITSTATUS(ws);
    return r;
}

class CliTest : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/korvex-cli-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        library = dir + "/korvex.Dat";
    }
    void TearDown() override
    {
        unlink(library.c_str());
        unlink((dir + "/short.Dat").c_str());
        rmdir(dir.c_str());
    }
    // A library of `n` pictures and `m` program steps, saved to `library`.
    std::unique_ptr<LibraryData> MakeLibrary(int n, int m)
    {
        auto d = std::make_unique<LibraryData>();
        d->pictureCount = n;
        d->programLength = m;
        for (int i = 0; i < n; ++i) {
            for (int k = 0; k < kColours; ++k)
                d->pictures[i].colours[k] = static_cast<uint32_t>((k * 16 + i * 0x1010) & 0xF0F0F0);
            StoreName(d->pictures[i], "p" + std::to_string(i + 1));
        }
        for (int e = 0; e < m; ++e)
            d->program[e] = {static_cast<uint8_t>(e % (n ? n : 1)), static_cast<uint8_t>(e % 6),
                             31};
        std::string error;
        EXPECT_TRUE(SaveLibraryFile(library, *d, error)) << error;
        return d;
    }
    std::string dir, library;
};

TEST_F(CliTest, UsageErrorsAndHelp)
{
    EXPECT_EQ(Cli({}).status, 2);
    CliRun r = Cli({"frobnicate"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown command 'frobnicate'"), std::string::npos) << r.err;
    EXPECT_EQ(Cli({"--help"}).status, 0);
    for (const char *cmd :
         {"info", "send-pictures", "send-program", "settings", "set-time", "list"}) {
        r = Cli({cmd, "--help"});
        EXPECT_EQ(r.status, 0) << cmd;
        EXPECT_EQ(r.out.find(std::string("usage: korvex-cli ") + cmd), 0u) << r.out;
    }
    r = Cli({"info", "--bogus"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown option '--bogus'"), std::string::npos) << r.err;
    EXPECT_EQ(Cli({"info", "--port", "9"}).status, 2);
    EXPECT_EQ(Cli({"info", "--port"}).status, 2);
    EXPECT_EQ(Cli({"settings", "--order", "6"}).status, 2);
    EXPECT_EQ(Cli({"settings", "--pixels", "15"}).status, 2);
    EXPECT_EQ(Cli({"settings"}).status, 2);
    r = Cli({"settings", "--live", "--pixels", "64"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot be applied live"), std::string::npos) << r.err;
}

TEST_F(CliTest, MissingDeviceIsAFailedExchange)
{
    CliRun r = Cli({"info", "--device", "/nonexistent/korvex-no-adapter"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find("cannot open port 1 (/nonexistent/korvex-no-adapter): there is no such device"),
        std::string::npos)
        << r.err;
    MakeLibrary(1, 1);
    r = Cli({"send-pictures", "--library", library, "--port", "4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("sending pictures failed: cannot open port 4"), std::string::npos)
        << r.err;
    EXPECT_EQ(Cli({"send-program", "--library", library, "--port", "4"}).status, 1);
    EXPECT_EQ(Cli({"set-time", "--port", "2"}).status, 1);
}

TEST_F(CliTest, BadLibraryFilesAreRefused)
{
    {
        std::ofstream f(dir + "/short.Dat", std::ios::binary);
        f << std::string(size_t(kLibraryFileSize - 1), '\0');
    }
    test::SimPort sp;
    ASSERT_TRUE(sp.ok());
    CliRun r = Cli({"send-pictures", "--library", dir + "/short.Dat"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Read beyond end of file"), std::string::npos) << r.err;
    EXPECT_EQ(sp->FrameCount(), 0);
    r = Cli({"list", "--library", dir + "/missing.Dat"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(std::strerror(ENOENT)), std::string::npos) << r.err;

    // A damaged count is named with its file and value, and nothing is sent
    // (the window would read the library as empty or cut it).
    struct Damage {
        size_t offset;
        const char *bytes;
        const char *says;
    };
    const Damage damages[] = {
        {0, "\x00\x80", "its picture count is 32768, above 121"},
        {0, "\x7A\x00", "its picture count is 122, above 121"},
        {993654, "\x01\x02", "its program length is 513, above 512"},
    };
    for (const Damage &d : damages) {
        MakeLibrary(3, 2);
        {
            std::fstream f(library, std::ios::binary | std::ios::in | std::ios::out);
            f.seekp(static_cast<std::streamoff>(d.offset));
            f.write(d.bytes, 2);
        }
        for (const char *cmd : {"send-pictures", "send-program", "list"}) {
            r = Cli({cmd, "--library", library});
            EXPECT_EQ(r.status, 2) << cmd;
            EXPECT_NE(r.err.find("the library file " + library + " is damaged: " + d.says),
                      std::string::npos)
                << cmd << ": " << r.err;
        }
    }
    EXPECT_EQ(sp->FrameCount(), 0);

    // Something that is no regular file is refused at once: a FIFO would
    // block, a device read as an empty library.
    const std::string fifo = dir + "/fifo.Dat";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string &p : {fifo, std::string("/dev/null")}) {
        for (const char *cmd : {"list", "send-program"}) {
            r = Cli({cmd, "--library", p}, 10);
            EXPECT_EQ(r.status, 2) << cmd << " " << p;
            EXPECT_NE(r.err.find("Not a regular file"), std::string::npos) << r.err;
        }
    }
    unlink(fifo.c_str());
    EXPECT_EQ(sp->FrameCount(), 0);
}

TEST_F(CliTest, SendPicturesAndProgramEndToEnd)
{
    const auto lib = MakeLibrary(3, 4);
    test::SimPort sp;
    ASSERT_TRUE(sp.ok());
    CliRun r = Cli({"send-pictures", "--library", library});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("sent 3 pictures (12 blocks)"), std::string::npos) << r.out;
    for (int i = 0; i < 3; ++i)
        for (int b = 0; b < 4; ++b) {
            const Block1K want = EncodePictureBlock(lib->pictures[i], b);
            ASSERT_EQ(sp->Block(i, b), std::vector<uint8_t>(want.begin(), want.end()));
        }
    const Block1K names = EncodeNameTable(lib->pictures, 0);
    EXPECT_EQ(sp->Block(127, 0), std::vector<uint8_t>(names.begin(), names.end()));
    EXPECT_EQ(sp->ConfigRecord()[16], 3);
    EXPECT_EQ(sp->CountOf('C'), 12);

    r = Cli({"send-program", "--library", library});
    ASSERT_EQ(r.status, 0) << r.err;
    const Block1K prog = EncodeProgramBlock(lib->program, 4);
    EXPECT_EQ(sp->Block(127, 2), std::vector<uint8_t>(prog.begin(), prog.end()));
    EXPECT_EQ(sp->ConfigRecord()[20], 4);
    EXPECT_EQ(sp->ConfigRecord()[16], 3);
}

TEST_F(CliTest, SendProgramSendsTheStepsTheWindowWouldList)
{
    auto d = MakeLibrary(2, 0);
    d->programLength = 3;
    d->program[0] = {1, 2, 3};
    d->program[1] = {0, 4, 5};
    d->program[2] = {7, 0, 1};  // names a picture the library does not hold
    std::string error;
    ASSERT_TRUE(SaveLibraryFile(library, *d, error)) << error;
    test::SimPort sp;
    ASSERT_TRUE(sp.ok());
    const CliRun r = Cli({"send-program", "--library", library});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: 1 program step(s)"), std::string::npos) << r.err;
    EXPECT_EQ(sp->ConfigRecord()[20], 2);
    const Block1K prog = EncodeProgramBlock(d->program, 2);
    EXPECT_EQ(sp->Block(127, 2), std::vector<uint8_t>(prog.begin(), prog.end()));
}

TEST_F(CliTest, ControllerThatStopsAnsweringFailsWithStatusOne)
{
    MakeLibrary(2, 0);
    test::SimPort sp;
    ASSERT_TRUE(sp.ok());
    sp->SetFault(sim::Fault::NoReply, 5);  // picture 0, block 2
    CliRun r = Cli({"send-pictures", "--library", library});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("failed at block 3 of 8 (picture 1)"), std::string::npos) << r.err;
    EXPECT_EQ(sp->CountOf('B'), 0);
    EXPECT_EQ(sp->CountOf('G'), 0);

    sp->ClearLog();
    sp->SetFault(sim::Fault::NoReply, 1);
    r = Cli({"info"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no controller answered on port 1"), std::string::npos) << r.err;
}

TEST_F(CliTest, InfoSettingsAndTime)
{
    test::SimPort sp;
    ASSERT_TRUE(sp.ok());
    // --device aims the port at the simulator even when KORVEX_COM1 points nowhere.
    const std::string pty = sp->SlavePath();
    setenv("KORVEX_COM1", "/nonexistent/korvex-test-com1", 1);
    CliRun r = Cli({"info", "--device", pty});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("firmware:        1.1 (version number 11)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("effects offered: 8"), std::string::npos) << r.out;

    r = Cli(
        {"settings", "--device", pty, "--pixels", "1024", "--order", "3", "--data-invert", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto rec = sp->ConfigRecord();
    EXPECT_EQ(rec[8], 0x04);  // big-endian in the controller
    EXPECT_EQ(rec[9], 0x00);
    EXPECT_EQ(rec[18], 3);
    EXPECT_EQ(rec[7], 1);
    EXPECT_EQ(std::string(rec.begin() + 3, rec.begin() + 6), "1.0");

    r = Cli({"settings", "--device", pty, "--live", "--oe-invert", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sp->LastPayload('E'), (std::vector<uint8_t>{'E', 1, 1, 3}));
    EXPECT_EQ(sp->CountOf('D'), 1);  // only the stored change wrote the record

    r = Cli({"info", "--device", pty});
    EXPECT_NE(r.out.find("pixel count:     1024"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("colour order:    3 (green blue red)"), std::string::npos) << r.out;

    ASSERT_EQ(Cli({"set-time", "--device", pty}).status, 0);
    EXPECT_EQ(sp->CountOf('F'), 1);
}

TEST_F(CliTest, ControllerWithoutRecordGetsACompleteOne)
{
    sim::Options opt;
    opt.signature = false;
    test::SimPort sp(opt);
    ASSERT_TRUE(sp.ok());
    CliRun r = Cli({"info"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("signature:       absent"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("effects offered: 6"), std::string::npos) << r.out;

    r = Cli({"settings", "--order", "2"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("give --pixels"), std::string::npos) << r.err;
    EXPECT_EQ(sp->CountOf('D'), 0);

    r = Cli({"settings", "--order", "2", "--pixels", "64"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::array<uint8_t, 256> want{};
    std::memcpy(want.data(), "Ver1.0", 6);
    want[9] = 64;
    want[18] = 2;
    EXPECT_EQ(sp->ConfigRecord(), want);
}

TEST_F(CliTest, ListShowsLabelsAndUtf8Names)
{
    auto d = std::make_unique<LibraryData>();
    d->pictureCount = 12;
    for (int i = 0; i < 12; ++i)
        StoreName(d->pictures[i], "n" + std::to_string(i + 1));
    StoreName(d->pictures[0], "\xBA\xEC\xC9\xAB");  // 红色 in GBK
    d->programLength = 3;
    d->program[0] = {0, 1, 31};
    d->program[1] = {40, 0, 1};  // names a picture the library does not hold
    d->program[2] = {11, 5, 2};
    std::string error;
    ASSERT_TRUE(SaveLibraryFile(library, *d, error)) << error;
    const CliRun r = Cli({"list", "--library", library});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("pictures: 12\n001: \xE7\xBA\xA2\xE8\x89\xB2\n002: n2\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("012: n12\n"), std::string::npos) << r.out;
    EXPECT_NE(
        r.out.find("program steps: 2\n001: \xE7\xBA\xA2\xE8\x89\xB2 - \xE6\xB8\x90\xE6\x98\xBE"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("002: n12 - \xE7\xAD\x89\xE5\xBE\x85"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("program entry 2 names picture 41"), std::string::npos) << r.err;

    // Control characters in a name reach a pipe as stored, and a terminal
    // only escaped, so that a name cannot drive it.
    StoreName(d->pictures[1], "\x1b]0;x\a\x1b[2J\x7f");
    ASSERT_TRUE(SaveLibraryFile(library, *d, error)) << error;
    const CliRun piped = Cli({"list", "--library", library});
    EXPECT_NE(piped.out.find("002: \x1b]0;x\a\x1b[2J\x7f\n"), std::string::npos) << piped.out;
    const CliRun shown = CliOnTerminal({"list", "--library", library});
    ASSERT_EQ(shown.status, 0);
    EXPECT_NE(shown.out.find("002: \\x1b]0;x\\x07\\x1b[2J\\x7f\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("001: \xE7\xBA\xA2\xE8\x89\xB2\n"), std::string::npos) << shown.out;
    EXPECT_EQ(shown.out.find('\x1b'), std::string::npos) << shown.out;
}

}  // namespace
}  // namespace korvex
