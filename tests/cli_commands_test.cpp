// korvex-cli run as a subprocess against the simulated controller: exit
// statuses, messages, and what each subcommand leaves in the controller.
#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "app/gbk_text.h"
#include "model/encoders.h"
#include "model/library_document.h"
#include "model/library_file.h"
#include "tests/support/held_device.h"
#include "tests/support/open_watch.h"
#include "tests/support/pty_peer.h"
#include "tests/support/sim_port.h"

namespace korvex {
namespace {

// korvex-cli and `args` as execv takes them.
class CommandLine {
public:
    explicit CommandLine(const std::vector<std::string> &args, const char *program = KORVEX_CLI)
        : all_{program}
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

struct CliOptions {
    int seconds = 30;            // killed after this
    bool errOnTerminal = false;  // stderr on a pty instead of a pipe
    // Called every 10 ms or so while the program runs.
    std::function<void(pid_t)> whileRunning;
    const char *program = KORVEX_CLI;  // what runs `args`
};

// Runs korvex-cli with `args`; kills it and reports -1 after the time limit.
CliRun Cli(const std::vector<std::string> &args, const CliOptions &options = {})
{
    CliRun r;
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return r;
    if (options.errOnTerminal) {
        // The parent reads the master side; the child writes the slave.
        close(errPipe[0]);
        close(errPipe[1]);
        errPipe[0] = posix_openpt(O_RDWR | O_NOCTTY);
        if (errPipe[0] < 0 || grantpt(errPipe[0]) != 0 || unlockpt(errPipe[0]) != 0)
            return r;
        errPipe[1] = open(ptsname(errPipe[0]), O_RDWR | O_NOCTTY);
        if (errPipe[1] < 0)
            return r;
    }
    CommandLine command(args, options.program);
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
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(options.seconds);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    bool timedOut = false;
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        until - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        if (options.whileRunning) {
            options.whileRunning(pid);
            left = std::min<decltype(left)>(left, 10);
        }
        if (poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
            } else {
                // End of the pipe, or EIO on the master once the child's
                // side of the pty is closed.
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

bool Has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

std::vector<uint8_t> AsVector(const Block1K &b)
{
    return std::vector<uint8_t>(b.begin(), b.end());
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
    // The terminal reads EIO as the program's last descriptor closes, which
    // can be a moment before it can be reaped: wait for that, within the
    // same deadline.
    int ws = 0;
    pid_t done = 0;
    while ((done = waitpid(pid, &ws, WNOHANG)) == 0 && std::chrono::steady_clock::now() < until)
        usleep(1000);
    if (done != pid) {
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
    for (const char *cmd : {"info", "send-pictures", "send-program", "settings", "set-time", "list",
                            "version", "ports", "backup", "verify"}) {
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
    // A device given by path is named by its path, a port by its number and device.
    EXPECT_NE(r.err.find("cannot open /nonexistent/korvex-no-adapter: there is no such device"),
              std::string::npos)
        << r.err;
    r = Cli({"info", "--port", "4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find("cannot open port 4 (/nonexistent/korvex-test-com4): there is no such device"),
        std::string::npos)
        << r.err;
    MakeLibrary(1, 1);
    r = Cli({"send-pictures", "--library", library, "--port", "4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("sending pictures failed: cannot open port 4"), std::string::npos)
        << r.err;
    EXPECT_EQ(Cli({"send-program", "--library", library, "--port", "4"}).status, 1);
    r = Cli({"set-time", "--port", "2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("setting the clock failed: cannot open port 2 "
                         "(/nonexistent/korvex-test-com2): there is no such device"),
              std::string::npos)
        << r.err;
}

TEST_F(CliTest, PortsListsEachPortsDeviceAndState)
{
    test::SimPort sp;       // port 1: free (only the simulator has its end open)
    test::PtyPeer peer(2);  // port 2: a second process holds it
    test::HeldDevice holder(peer.SlavePath());
    ASSERT_TRUE(sp.ok() && peer.ok() && holder.held());
    const std::string pid = std::to_string(holder.pid());
    auto lineOf = [](const std::string &text, const std::string &label) {
        const size_t at = text.find(label + "  ");
        return at == std::string::npos ? std::string() : text.substr(at, text.find('\n', at) - at);
    };

    const test::OpenWatch opens(sp->SlavePath());
    CliRun r = Cli({"ports"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(opens.Opens(), 0);  // listing looks, and opens nothing
    EXPECT_NE(lineOf(r.out, " Com1").find(sp->SlavePath()), std::string::npos) << r.out;
    EXPECT_NE(lineOf(r.out, " Com1").find("  free"), std::string::npos) << r.out;
    EXPECT_NE(lineOf(r.out, " Com2").find("in use by PID " + pid), std::string::npos) << r.out;
    EXPECT_NE(lineOf(r.out, " Com3").find("/nonexistent/korvex-test-com3  missing"),
              std::string::npos)
        << r.out;

    r = Cli({"ports", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("{\"port\": 2, \"label\": \" Com2\", \"device\": \"" + peer.SlavePath() +
                         "\", \"variable\": \"KORVEX_COM2\""),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"state\": \"in-use\", \"holders\": [{\"pid\": " + pid),
              std::string::npos)
        << r.out;
    size_t missing = 0;
    for (size_t at = r.out.find("\"missing\""); at != std::string::npos;
         at = r.out.find("\"missing\"", at + 1))
        ++missing;
    EXPECT_EQ(missing, 6u) << r.out;

    r = Cli({"info", "--port", "2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open port 2 (" + peer.SlavePath() +
                         "): it is in use by another program (PID " + pid),
              std::string::npos)
        << r.err;
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
    CliOptions quick;
    quick.seconds = 10;
    for (const std::string &p : {fifo, std::string("/dev/null")}) {
        for (const char *cmd : {"list", "send-program"}) {
            r = Cli({cmd, "--library", p}, quick);
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
    // Off a terminal the progress is one line at the start, one at the end.
    EXPECT_EQ(r.err.find("sending pictures: 12 blocks\nsending pictures: 12 of 12 blocks in "), 0u)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
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

// A clone's first half and the checks: backup gives the sent library back
// byte for byte, verify and --verify name what differs (exit 3).
TEST_F(CliTest, BackupVerifyAndCheckedSends)
{
    const auto lib = MakeLibrary(3, 4);
    test::SimPort sp;
    ASSERT_TRUE(sp.ok());
    ASSERT_EQ(Cli({"send-pictures", "--library", library}).status, 0);
    ASSERT_EQ(Cli({"send-program", "--library", library}).status, 0);

    const std::string copy = dir + "/copy.Dat";
    CliRun r = Cli({"backup", "--library", copy});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "pictures:        3\nprogram steps:   4\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "korvex-cli settings --pixels 2048 --order 0 --data-invert 0 "
                           "--oe-invert 0\n"))
        << r.out;
    std::ifstream a(library, std::ios::binary), b(copy, std::ios::binary);
    const std::string sent((std::istreambuf_iterator<char>(a)), {});
    const std::string back((std::istreambuf_iterator<char>(b)), {});
    EXPECT_EQ(back.size(), 995192u);
    EXPECT_TRUE(sent == back);
    r = Cli({"backup", "--library", copy, "--once"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "exists; give --force")) << r.err;
    EXPECT_EQ(Cli({"backup", "--library", copy, "--once", "--force"}).status, 0);
    unlink(copy.c_str());

    EXPECT_EQ(Cli({"verify", "--library", library}).status, 0);
    std::vector<uint8_t> block = sp->Block(1, 1);
    block[2 * 5] ^= 0x10;
    sp->SetBlock(1, 1, block);
    r = Cli({"verify", "--library", library});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(Has(r.out, "picture 2: 1 of 2048 pixels differ, first at pixel 517\n")) << r.out;

    // Frame 4 of the upload: picture 1's second block, stored wrong.
    sp->ClearLog();
    sp->SetFault(sim::Fault::Corrupt, 4, 1);
    r = Cli({"send-pictures", "--library", library, "--verify"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(Has(r.err, "picture 1: 1 of 2048 pixels differ, first at pixel 512")) << r.err;
    EXPECT_TRUE(Has(r.err, "no restart was sent")) << r.err;
    EXPECT_EQ(sp->CountOf('G'), 0);
    // The record's first write: its pixel count 2048 kept as 2304.
    sp->SetFault(sim::Fault::Corrupt, 0, 1, 8);
    r = Cli({"send-program", "--library", library, "--verify"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(Has(r.err, "record byte 8: written 0x08, read 0x09\n")) << r.err;
    r = Cli({"send-program", "--library", library, "--verify"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "read back and found as sent")) << r.out;
}

// A controller whose program names pictures it does not hold: backup says
// which steps its library will not list, and verify of that backup names
// those steps and nothing else.
TEST_F(CliTest, BackupAndVerifyNameStepsOfPicturesTheControllerLacks)
{
    MakeLibrary(2, 0);
    test::SimPort sp;
    ASSERT_TRUE(sp.ok());
    ASSERT_EQ(Cli({"send-pictures", "--library", library}).status, 0);
    ProgramTable program{};
    program[0] = {0, 1, 3};
    program[1] = {4, 0, 1};  // picture 5: the controller holds 2
    program[2] = {1, 2, 7};
    program[3] = {2, 0, 1};
    sp->SetBlock(127, 2, AsVector(EncodeProgramBlock(program, 4)));
    auto record = sp->ConfigRecord();
    record[20] = 4;
    sp->SetConfigRecord(record);

    const std::string copy = dir + "/copy.Dat";
    CliRun r = Cli({"backup", "--library", copy});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "note: program steps 2, 4 name pictures the controller does not hold; "
                           "the library lists 2 of 4 steps\n"))
        << r.out;
    r = Cli({"verify", "--library", copy});
    unlink(copy.c_str());
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "program step 2 names picture 5, which the controller does not hold\n"
                     "program step 4 names picture 3, which the controller does not hold\n"
                     "the controller differs from the library in 2 places\n");
}

// Ctrl-C during a backup writes nothing, even during its last read.
TEST_F(CliTest, SignalStopsABackupAndWritesNothing)
{
    sim::Options paced;
    paced.baudPacing = 38400;
    test::SimPort sp(paced);
    ASSERT_TRUE(sp.ok());
    const struct {
        int pictures;
        int signalAt;  // the read whose frame has arrived: the last one in the second case
        int mostReads;
        const char *said;
    } cases[] = {{4, 3, 6, "interrupted: stopped before picture"},
                 {0, 8, 8, "interrupted: stopped after the last block was read"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.said);
        sp->ClearLog();
        auto record = sp->ConfigRecord();
        record[16] = static_cast<uint8_t>(c.pictures);
        sp->SetConfigRecord(record);
        CliOptions watch;
        bool sent = false;
        watch.whileRunning = [&](pid_t pid) {
            if (!sent && sp->CountOf('A') >= c.signalAt) {
                sent = true;
                kill(pid, SIGINT);
            }
        };
        const std::string copy = dir + "/copy.Dat";
        const CliRun r = Cli({"backup", "--library", copy}, watch);
        EXPECT_EQ(r.status, 130) << r.err;
        EXPECT_TRUE(Has(r.err, c.said)) << r.err;
        EXPECT_LE(sp->CountOf('A'), c.mostReads);
        EXPECT_NE(access(copy.c_str(), F_OK), 0);
    }
}

TEST_F(CliTest, SendProgramSendsTheStepsTheWindowWouldList)
{
    // The step naming a missing picture sits between two listed ones, so
    // the table as stored and the steps as listed differ from entry 1 on.
    auto d = MakeLibrary(5, 0);
    d->programLength = 3;
    d->program[0] = {0, 1, 3};
    d->program[1] = {7, 0, 1};  // picture 8: the library holds 5
    d->program[2] = {1, 4, 5};
    std::string error;
    ASSERT_TRUE(SaveLibraryFile(library, *d, error)) << error;
    test::SimPort sp;
    ASSERT_TRUE(sp.ok());
    const CliRun r = Cli({"send-program", "--library", library});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: 1 program step(s)"), std::string::npos) << r.err;
    EXPECT_EQ(sp->ConfigRecord()[20], 2);
    ProgramTable listed{};
    listed[0] = d->program[0];
    listed[1] = d->program[2];
    const Block1K prog = EncodeProgramBlock(listed, 2);
    const std::vector<uint8_t> sent = sp->Block(127, 2);
    EXPECT_EQ(sent, std::vector<uint8_t>(prog.begin(), prog.end()));
    EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 6),
              (std::vector<uint8_t>{0x00, 0x23, 0x01, 0x85, 0x00, 0x00}));
}

TEST_F(CliTest, SendPicturesOnlySendsTheChosenPages)
{
    const auto lib = MakeLibrary(6, 0);
    test::SimPort sp;
    ASSERT_TRUE(sp.ok());
    // Refused before any frame: bad lists, numbers outside the library.
    for (const char *list : {"", "0", "7", "2,7", "5-3", "3-", "-2", "1,,2", "x", "2 ,3"}) {
        const CliRun r = Cli({"send-pictures", "--library", library, "--only", list});
        EXPECT_EQ(r.status, 2) << list;
        EXPECT_TRUE(Has(r.err, "--only: ")) << list << ": " << r.err;
    }
    EXPECT_TRUE(Has(Cli({"send-pictures", "--library", library, "--only", "7"}).err,
                    "picture 7 is not in the library, which holds 6 pictures"));
    EXPECT_EQ(sp->FrameCount(), 0);

    const CliRun r = Cli({"send-pictures", "--library", library, "--only", "5,2-3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "sent 3 of 6 pictures (12 blocks)")) << r.out;
    // The restart awaits no reply: the simulator may log it a moment later.
    for (int wait = 0; wait < 300 && sp->CountOf('G') == 0; ++wait)
        usleep(10000);
    std::string sent;
    for (const sim::FrameLogEntry &e : sp->Log()) {
        sent += e.command;
        if (e.page >= 0)
            sent += std::to_string(e.page) + "." + std::to_string(e.block);
        sent += " ";
    }
    EXPECT_EQ(sent, "A127.3 D C1.0 C1.1 C1.2 C1.3 C2.0 C2.1 C2.2 C2.3 C4.0 C4.1 C4.2 C4.3 "
                    "B127.0 B127.1 G ");
    EXPECT_EQ(sp->ConfigRecord()[16], 6);
    EXPECT_EQ(sp->Block(4, 2), AsVector(EncodePictureBlock(lib->pictures[4], 2)));
}

// --changed says in one line why it sends everything; a dry run prints the
// plan and writes nothing.
TEST_F(CliTest, SendPicturesChangedSaysWhyAndADryRunWritesNothing)
{
    MakeLibrary(4, 0);
    test::SimPort sp;
    ASSERT_TRUE(sp.ok());
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"--changed", "--only", "1"}, {"--dry-run"}, {"--only", "1", "--dry-run"}}) {
        args.insert(args.begin(), {"send-pictures", "--library", library});
        EXPECT_EQ(Cli(args).status, 2) << args[3];
    }
    const std::vector<uint8_t> memory = sp->Memory();
    CliRun r = Cli({"send-pictures", "--library", library, "--changed", "--dry-run"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "sending everything: the controller was last written by another program\n"
                     "would send pictures 1-4 (16 blocks), name table 1, name table 2 and the "
                     "record (4 pictures)\n");
    EXPECT_EQ(sp->Memory(), memory);
    EXPECT_EQ(sp->CountOf('A'), 2);  // the record and name table 2 read, nothing else
    EXPECT_EQ(sp->FrameCount(), 2);

    r = Cli({"send-pictures", "--library", library, "--changed", "--verify"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "sent pictures 1-4 (16 blocks), name table 1, name table 2 and the "
                           "record (4 pictures), read back and found as sent"))
        << r.out;
    MakeLibrary(5, 0);
    r = Cli({"send-pictures", "--library", library, "--changed", "--dry-run"});
    EXPECT_EQ(r.out, "would send picture 5 (4 blocks), name table 1, name table 2 and the record "
                     "(5 pictures)\n");
    ASSERT_EQ(Cli({"send-pictures", "--library", library, "--changed"}).status, 0);
    EXPECT_EQ(Cli({"send-pictures", "--library", library, "--changed"}).out,
              "nothing changed; nothing was sent\n");
}

TEST_F(CliTest, ProgressOnATerminalShowsRateAndTimeLeft)
{
    MakeLibrary(2, 0);
    test::SimPort sp;
    ASSERT_TRUE(sp.ok());
    CliOptions terminal;
    terminal.errOnTerminal = true;
    const CliRun r = Cli({"send-pictures", "--library", library}, terminal);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "\rsending pictures [################] 8/8 100%")) << r.err;
    EXPECT_TRUE(Has(r.err, " blocks/s  0:00 left")) << r.err;
    EXPECT_FALSE(Has(r.err, "sending pictures: ")) << r.err;
}

// Ctrl-C (or SIGTERM) during a paced upload: the block in flight is
// finished, nothing follows it, and the report matches the controller.
TEST_F(CliTest, SignalStopsAnUploadAfterTheBlockInFlight)
{
    const auto lib = MakeLibrary(4, 0);
    const std::vector<uint8_t> before(1024, 0x5A);
    for (const auto &[signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        sim::Options paced;
        paced.baudPacing = 38400;
        test::SimPort sp(paced);
        ASSERT_TRUE(sp.ok());
        for (int page = 0; page < 4; ++page)
            for (int b = 0; b < 4; ++b)
                sp->SetBlock(page, b, before);
        sp->SetBlock(127, 0, before);

        int atSignal = -1;
        bool again = false;
        std::chrono::steady_clock::time_point signalled;
        CliOptions watch;
        watch.whileRunning = [&](pid_t pid) {
            const auto now = std::chrono::steady_clock::now();
            if (atSignal < 0 && sp->CountOf('C') >= 5) {
                atSignal = sp->CountOf('C');
                signalled = now;
                kill(pid, signal);
            } else if (atSignal >= 0 && !again && now - signalled > std::chrono::milliseconds(50)) {
                // A second one while the block in flight is finished
                // changes nothing.
                again = true;
                kill(pid, signal);
            }
        };
        const CliRun r = Cli({"send-pictures", "--library", library}, watch);
        const double afterSignal =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
        ASSERT_GE(atSignal, 5);
        EXPECT_EQ(r.status, status) << r.err;
        // The block in flight at most: one block takes 0.27 s at 38400
        // baud, the 16 - 5 left would take 3 s.
        const int sent = sp->CountOf('C');
        EXPECT_LE(sent, atSignal + 1);
        EXPECT_LT(afterSignal, 1.0);
        EXPECT_EQ(sp->CountOf('B'), 0);
        EXPECT_EQ(sp->CountOf('G'), 0);

        // The controller: the count, the blocks sent, the rest as before.
        EXPECT_EQ(sp->ConfigRecord()[16], 4);
        for (int k = 0; k < 16; ++k)
            EXPECT_EQ(sp->Block(k / 4, k % 4),
                      k < sent ? AsVector(EncodePictureBlock(lib->pictures[k / 4], k % 4)) : before)
                << "block " << k;
        EXPECT_EQ(sp->Block(127, 0), before);

        // The report says the same.
        const int whole = sent / 4;
        std::vector<std::string> lines = {
            "interrupted: stopped once block " + std::to_string(sent) + " of 16 (picture " +
                std::to_string((sent - 1) / 4 + 1) + ")",
            "picture count: 4, written before the first block",
            "complete: " +
                (whole == 1 ? std::string("picture 1") : "pictures 1-" + std::to_string(whole)) +
                "\n",
            "name tables not written",
            "no restart was sent",
            "sending the same pictures again completes it."};
        if (sent % 4)
            lines.push_back("partial: picture " + std::to_string(whole + 1) + ", " +
                            std::to_string(sent % 4) + " of 4 blocks written; ");
        for (const std::string &line : lines)
            EXPECT_TRUE(Has(r.err, line)) << line << "\n" << r.err;
    }
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
    // What the controller holds, and what kind of failure it was.
    for (const char *line :
         {"no controller answered on port 1 (", "picture count: 2, written before",
          "complete: none\n", "partial: picture 1, 2 of 4 blocks written and block 3 perhaps",
          "not sent: picture 2,", "name tables not written", "no restart was sent",
          "sending the same pictures again completes it."})
        EXPECT_TRUE(Has(r.err, line)) << line << "\n" << r.err;

    // A failed name table is named as such, not as the last block.
    sp->ClearLog();
    sp->SetFault(sim::Fault::NotOk, 11);  // after the record and 8 blocks
    r = Cli({"send-pictures", "--library", library});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "sending pictures failed at writing name table 1: ")) << r.err;
    EXPECT_FALSE(Has(r.err, "block 8 of 8")) << r.err;
    EXPECT_TRUE(Has(r.err, "complete: pictures 1-2\n")) << r.err;
    EXPECT_TRUE(Has(r.err, "name tables not written")) << r.err;
    EXPECT_FALSE(Has(r.err, "partial")) << r.err;

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
    // This side first: the version and the library used without --library
    // (this build keeps it beside the program).
    const std::string cli = KORVEX_CLI;
    EXPECT_EQ(r.out.find("host:            korvex-cli " KORVEX_VERSION "\ndefault library: " +
                         cli.substr(0, cli.rfind('/')) + "/korvex.Dat\n"),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("connected:       " + pty + "\n"), std::string::npos) << r.out;
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
    EXPECT_EQ(r.out.find("library: " + library +
                         "\npictures: 12\n001: \xE7\xBA\xA2\xE8\x89\xB2\n002: n2\n"),
              0u)
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

// ---- editing a library from scripts

std::string FileBytes(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// Each edit through korvex-cli saves, byte for byte, what the window's
// document operation saves (Load, the operation, Store, SaveLibraryFile);
// a refused edit exits with the status and message and writes nothing.
TEST_F(CliTest, EditsSaveWhatTheWindowSaves)
{
    using Op = std::function<void(LibraryDocument &)>;
    struct Edit {
        std::vector<std::string> args;
        Op op;               // the window's operation; none: the file stays
        int status = 0;      // korvex-cli's exit status
        const char *says{};  // part of its stderr
    };
    const std::string red = "\xE7\xBA\xA2\xE8\x89\xB2";  // 红色
    const Edit edits[] = {
        {{"rename", "2", red}, [&](auto &d) { d.RenamePicture(1, Utf8ToGbk(red)); }},
        {{"rename", "3", "p3"}, nullptr, 0, "picture 3 already has that name"},
        {{"rename", "5", "x"},
         nullptr,
         2,
         "picture 5 is out of range: the library holds pictures 1 to 4"},
        {{"delete", "2"}, [](auto &d) { d.DeletePicture(1); }, 0, "1 step(s) were dropped"},
        {{"delete", "4"}, [](auto &d) { d.DeletePicture(3); }},
        {{"delete", "0"}, nullptr, 2, "picture 0 is out of range"},
        {{"program", "add", "3"}, [](auto &d) { d.AddStep(2, 0, 1); }},
        {{"program", "add", "3", "--effect", "\xE6\xB8\x90\xE6\x98\xBE"},  // 渐显
         [](auto &d) { d.AddStep(2, 1, 31); }},
        {{"program", "add", "1", "--effect", "5", "--value", "7"},
         [](auto &d) { d.AddStep(0, 5, 7); }},
        {{"program", "add", "9"}, nullptr, 2, "picture 9 is out of range"},
        {{"program", "change", "2", "--effect", "\xE7\xAD\x89\xE5\xBE\x85"},  // 等待
         [](auto &d) { d.ChangeStep(1, 5, 1); }},
        {{"program", "change", "2", "--value", "9"}, [](auto &d) { d.ChangeStep(1, -1, 9); }},
        {{"program", "change", "3", "--effect", "2", "--value", "0"},
         [](auto &d) { d.ChangeStep(2, 2, 0); }},
        {{"program", "change", "7", "--value", "1"},
         nullptr,
         2,
         "step 7 is out of range: the program lists steps 1 to 6"},
        {{"program", "delete", "1"}, [](auto &d) { d.DeleteStep(0); }},
        {{"program", "clear"}, [](auto &d) { d.RebuildProgram(0); }},
        {{"program", "delete", "1", "--library", dir + "/empty.Dat"},
         nullptr,
         2,
         "step 1 is out of range: the program lists no steps"},
    };
    const auto original = MakeLibrary(4, 6);
    const std::string before = FileBytes(library);
    auto empty = std::make_unique<LibraryData>();
    std::string error;
    ASSERT_TRUE(SaveLibraryFile(dir + "/empty.Dat", *empty, error)) << error;
    const std::string window = dir + "/window.Dat";
    for (const Edit &e : edits) {
        std::vector<std::string> args = e.args;
        if (std::find(args.begin(), args.end(), "--library") == args.end())
            args.insert(args.end(), {"--library", library});
        const CliRun r = Cli(args);
        const std::string what = args[0] + " " + args[1];
        EXPECT_EQ(r.status, e.status) << what << ": " << r.err;
        if (e.says) {
            EXPECT_TRUE(Has(r.err, e.says)) << what << ": " << r.err;
        }
        if (e.op) {
            auto doc = std::make_unique<LibraryDocument>(GbkToUtf8);
            doc->Load(*original);
            e.op(*doc);
            auto data = std::make_unique<LibraryData>();
            doc->Store(*data);
            ASSERT_TRUE(SaveLibraryFile(window, *data, error)) << error;
            EXPECT_TRUE(FileBytes(library) == FileBytes(window)) << what;
        } else {
            EXPECT_TRUE(FileBytes(library) == before) << what;
        }
        ASSERT_TRUE(SaveLibraryFile(library, *original, error)) << error;
    }
    unlink(window.c_str());
    unlink((dir + "/empty.Dat").c_str());
}

// render's sheet holds each picture's strip, then each step's picture's
// strip, in order, in the colours stored, at least 6 rows high; --pixels
// sets the strips' width.
TEST_F(CliTest, RenderDrawsEachPictureAndStepAsAStrip)
{
    const auto lib = MakeLibrary(3, 4);  // steps show pictures 1, 2, 3, 1
    const int lines[] = {0, 1, 2, 0, 1, 2, 0};
    QSize sizes[2];
    int n = 0;
    for (const int pixels : {2048, 100}) {
        const std::string png = dir + "/sheet.png";
        const CliRun r =
            Cli({"render", png, "--pixels", std::to_string(pixels), "--library", library});
        ASSERT_EQ(r.status, 0) << r.err;
        QImage sheet(QString::fromStdString(png));
        unlink(png.c_str());
        ASSERT_FALSE(sheet.isNull());
        sheet = sheet.convertToFormat(QImage::Format_RGB32);
        sizes[n++] = sheet.size();
        // Searches downwards for the next strip of each line's picture.
        int x0 = -1, from = 0;
        for (const int picture : lines) {
            std::vector<QRgb> want;
            for (int k = 0; k < pixels; ++k) {
                const uint32_t c = lib->pictures[picture].colours[k];  // 0x00BBGGRR
                want.push_back(qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
            }
            auto rowAt = [&](int x, int y) {
                const QRgb *row = reinterpret_cast<const QRgb *>(sheet.constScanLine(y));
                return std::equal(want.begin(), want.end(), row + x);
            };
            int foundX = -1, y = from;
            for (; foundX < 0 && y + 6 <= sheet.height(); ++y)
                for (int x = 0; foundX < 0 && x + pixels <= sheet.width(); ++x)
                    if (rowAt(x, y))
                        foundX = x;
            ASSERT_GE(foundX, 0) << "no strip of picture " << picture + 1 << " below row " << from;
            if (x0 >= 0) {
                EXPECT_EQ(foundX, x0);
            }
            x0 = foundX;
            from = y - 1;
            while (from < sheet.height() && rowAt(x0, from))
                ++from;
            EXPECT_GE(from - (y - 1), 6) << "picture " << picture + 1;
        }
    }
    EXPECT_EQ(sizes[0].width() - sizes[1].width(), 2048 - 100);
    EXPECT_EQ(sizes[0].height(), sizes[1].height());
}

// A symbolic link that points nowhere is a file there like any other: each
// command that replaces a file only with --force refuses without it and
// leaves the link as it was, and creates nothing where it points.
TEST_F(CliTest, ADanglingLinkIsNotReplacedWithoutForce)
{
    MakeLibrary(2, 2);
    test::SimPort sp;
    ASSERT_TRUE(sp.ok());
    const std::string show = dir + "/show", link = dir + "/link.png", nowhere = dir + "/nowhere";
    ASSERT_EQ(Cli({"export", show, "--library", library}).status, 0);
    const std::vector<std::string> commands[] = {
        {"backup", "--library", link},
        {"import", show, "--library", link},
        {"export", link, "--library", library},
        {"render", link, "--library", library},
    };
    for (const auto &args : commands) {
        ASSERT_EQ(symlink(nowhere.c_str(), link.c_str()), 0);
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, 2) << args[0] << ": " << r.err;
        char target[256] = {};
        EXPECT_EQ(readlink(link.c_str(), target, sizeof target - 1),
                  static_cast<ssize_t>(nowhere.size()))
            << args[0];
        EXPECT_EQ(access(nowhere.c_str(), F_OK), -1) << args[0];
        unlink(link.c_str());
        std::filesystem::remove_all(nowhere);
    }
    std::filesystem::remove_all(show);
}

// The completion script is valid bash and completes a command, an option,
// a sub-operation and a file.
TEST_F(CliTest, CompletionCompletesCommandsOptionsAndFiles)
{
    MakeLibrary(1, 0);  // a file to complete
    const CliRun script = Cli({"completion", "bash"});
    ASSERT_EQ(script.status, 0) << script.err;
    const std::string file = dir + "/completion.bash";
    std::ofstream(file) << script.out;
    CliOptions bash;
    bash.program = "/bin/bash";
    EXPECT_EQ(Cli({"-n", file}, bash).status, 0);
    const CliRun r = Cli({"-c", "source " + file + R"(
        ask() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _korvex_cli; echo "${COMPREPLY[*]}"; }
        ask korvex-cli ren
        ask korvex-cli program --ef
        ask korvex-cli program --library x a
        ask korvex-cli capture --library )" +
                                    dir + "/korvex.D"},
                         bash);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "rename render\n--effect\nadd\n" + library + "\n");
    unlink(file.c_str());
}

}  // namespace
}  // namespace korvex
