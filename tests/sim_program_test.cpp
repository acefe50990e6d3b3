// The korvex-sim program: its readiness line, options, and a clean stop on
// SIGTERM that saves memory.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "link/korvex_api.h"

#ifndef KORVEX_SIM_EXE
#error "KORVEX_SIM_EXE must name the korvex-sim executable"
#endif

namespace {

struct Child {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
    std::string firstLine;

    bool Start(const std::vector<std::string> &args)
    {
        int o[2], e[2];
        if (pipe2(o, O_CLOEXEC) != 0 || pipe2(e, O_CLOEXEC) != 0)
            return false;
        pid = fork();
        if (pid == 0) {
            dup2(o[1], 1);
            dup2(e[1], 2);
            std::vector<char *> argv;
            std::string exe = KORVEX_SIM_EXE;
            argv.push_back(exe.data());
            std::vector<std::string> copy = args;
            for (auto &a : copy)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(exe.c_str(), argv.data());
            _exit(127);
        }
        close(o[1]);
        close(e[1]);
        out = o[0];
        err = e[0];
        // The readiness line, within a bounded time.
        const auto start = std::chrono::steady_clock::now();
        char c;
        while (std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
            pollfd p{out, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            if (read(out, &c, 1) != 1)
                return false;
            if (c == '\n')
                return true;
            firstLine += c;
        }
        return false;
    }

    // Sends `sig` and waits (bounded) for the exit status.
    int Stop(int sig = SIGTERM)
    {
        if (pid <= 0)
            return -1;
        kill(pid, sig);
        int status = 0;
        for (int i = 0; i < 500; ++i) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        pid = -1;
        return -2;
    }

    std::string Stderr()
    {
        std::string s;
        char buf[4096];
        fcntl(err, F_SETFL, O_NONBLOCK);
        ssize_t r;
        while ((r = read(err, buf, sizeof buf)) > 0)
            s.append(buf, static_cast<size_t>(r));
        return s;
    }

    ~Child()
    {
        if (pid > 0)
            Stop(SIGKILL);
        if (out >= 0)
            close(out);
        if (err >= 0)
            close(err);
    }
};

}  // namespace

TEST(SimProgram, PrintsItsPtyFirstAndServesIt)
{
    Child sim;
    // Without @K the first write is spoiled, here in its byte 5.
    ASSERT_TRUE(sim.Start({"--firmware", "1.0", "--fault", "corrupt:5"}));
    EXPECT_EQ(sim.firstLine.rfind("/dev/pts/", 0), 0u) << sim.firstLine;
    setenv("KORVEX_COM1", sim.firstLine.c_str(), 1);
    ASSERT_EQ(ComInitial(1, 38400), 1);
    uint8_t block[1024];
    EXPECT_EQ(Read1KData(127, 3, block), 1);
    EXPECT_EQ(std::string(block + 512, block + 518), "Ver1.0");
    EXPECT_EQ(Write1KData_Ex(7, 0, block), 1);
    EXPECT_EQ(Write1KData_Ex(7, 1, block), 1);
    uint8_t stored[1024];
    EXPECT_EQ(Read1KData(7, 0, stored), 1);
    for (int k = 0; k < 1024; ++k)
        ASSERT_EQ(stored[k], block[k] ^ (k == 5 ? 0x10 : 0)) << k;
    EXPECT_EQ(ComClose(), 1);
    setenv("KORVEX_COM1", "/nonexistent/korvex-test-com1", 1);
    EXPECT_EQ(sim.Stop(), 0);
    const std::string log = sim.Stderr();
    EXPECT_NE(log.find("frame 1: A page 127 block 3 -> DATA"), std::string::npos) << log;
    // A corrupt write lasts the one frame it was asked for.
    EXPECT_NE(log.find("frame 2: C page 7 block 0 -> corrupt"), std::string::npos) << log;
    EXPECT_NE(log.find("frame 3: C page 7 block 1 -> OK"), std::string::npos) << log;
}

TEST(SimProgram, FaultOptionAndLinkAndMemory)
{
    char dir[] = "/tmp/korvex-simprog-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/tty";
    const std::string mem = std::string(dir) + "/mem.bin";
    Child sim;
    ASSERT_TRUE(sim.Start({"--link", link, "--memory", mem, "--fault", "not-ok@2", "--quiet"}));
    setenv("KORVEX_COM2", link.c_str(), 1);
    ASSERT_EQ(ComInitial(2, 38400), 1);
    std::vector<uint8_t> data(1024, 0xA5);
    EXPECT_EQ(Write1KData_Ex(7, 0, data.data()), 1);
    EXPECT_EQ(Write1KData_Ex(7, 1, data.data()), 0);  // frame 2 on: not "OK"
    EXPECT_EQ(ComClose(), 1);
    setenv("KORVEX_COM2", "/nonexistent/korvex-test-com2", 1);
    EXPECT_EQ(sim.Stop(SIGINT), 0);
    EXPECT_TRUE(sim.Stderr().empty());  // --quiet
    struct stat st {};
    ASSERT_EQ(stat(mem.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 256 * 4096);
    EXPECT_NE(lstat(link.c_str(), &st), 0);  // the link is gone with the simulator
    std::remove(mem.c_str());
    rmdir(dir);
}

TEST(SimProgram, RejectsBadOptions)
{
    for (const char *bad : {"--fault", "--firmware"}) {
        Child sim;
        EXPECT_FALSE(sim.Start({bad, "nonsense"}));
        EXPECT_EQ(sim.Stop(SIGKILL), 2);
    }
}
