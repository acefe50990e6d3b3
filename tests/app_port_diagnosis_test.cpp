// Why a port failed, as the host side tells it after the library returned
// 0: each cause from a real failure (a missing device, one that is no
// serial device, one held by a second process, one this user may not open,
// a controller that misbehaves) and the naming rule's own causes on a fake
// machine, in English and in Chinese.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/port_diagnosis.h"
#include "link/korvex_api.h"
#include "model/config_record.h"
#include "tests/support/fake_tree.h"
#include "tests/support/held_device.h"
#include "tests/support/pty_peer.h"
#include "tests/support/safe_ports.h"
#include "tests/support/sim_port.h"

namespace korvex {
namespace {

// What a case leaves standing while its failure is diagnosed.
struct Scene {
    std::unique_ptr<test::SimPort> sim;
    std::unique_ptr<test::PtyPeer> peer;
    std::unique_ptr<test::HeldDevice> holder;
    std::unique_ptr<test::FakeTree> tree;
    std::string root;                // for the rule, when a fake tree stands in
    std::vector<std::string> texts;  // more fragments the English text must hold
};

struct Case {
    const char *what;
    std::function<void(Scene &)> arrange;  // a failed ASSERT in it ends the test
    std::function<void()> fail;            // the operation that fails on port 1
    PortCause cause;
    std::vector<std::string> texts;  // fragments of Text()
    QString zh;                      // a fragment of TextZh()
    bool asNobody = false;           // fail and diagnose as the user nobody
};

void ReadRecordOnPort1()
{
    ConfigRecord record{};
    if (ComInitial(1, 38400))
        ReadConfigRecord(record);
    ComClose();
}

void LiveChangeOnPort1()
{
    const uint8_t triple[3] = {0, 0, 0};
    if (ComInitial(1, 38400))
        WriteNotSave(triple);
    ComClose();
}

void Nothing() {}

struct Told {
    int cause = -1;
    std::string text, zh;
};

Told Diagnose(const Case &c, const Scene &s)
{
    c.fail();
    const ExchangeFailure f = DiagnoseExchange(1, s.root);
    return {static_cast<int>(f.cause), f.Text(), f.TextZh().toStdString()};
}

// Runs the case's failure and its diagnosis in a child that has become
// the user nobody, with a trace record of its own (the parent's is out of
// its reach).
Told DiagnoseAsNobody(const Case &c, const Scene &s)
{
    int out[2];
    if (pipe(out) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(out[0]);
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        char dir[] = "/tmp/korvex-nobody-XXXXXX";
        const bool own = mkdtemp(dir) != nullptr;
        const std::string record = std::string(dir) + "/trace";
        if (own)
            setenv("KORVEX_LINK_TRACE", record.c_str(), 1);
        const Told t = Diagnose(c, s);
        if (own) {
            unlink(record.c_str());
            rmdir(dir);
        }
        const std::string msg = std::to_string(t.cause) + "\n" + t.text + "\n" + t.zh;
        if (write(out[1], msg.data(), msg.size()) < 0)
            _exit(4);
        _exit(0);
    }
    close(out[1]);
    std::string msg;
    char buf[1024];
    pollfd p{out[0], POLLIN, 0};
    while (poll(&p, 1, 10000) == 1) {
        const ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        msg.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    Told t;
    const size_t a = msg.find('\n'), b = msg.find('\n', a + 1);
    if (a == std::string::npos || b == std::string::npos)
        return t;
    t.cause = std::stoi(msg.substr(0, a));
    t.text = msg.substr(a + 1, b - a - 1);
    t.zh = msg.substr(b + 1);
    return t;
}

// A pty on port 1 owned by root, with `group` (by name) and `mode`.
void RestrictedPty(Scene &s, const char *group, mode_t mode)
{
    s.peer = std::make_unique<test::PtyPeer>(1);
    ASSERT_TRUE(s.peer->ok());
    const struct group *g = getgrnam(group);
    ASSERT_NE(g, nullptr) << group;
    ASSERT_EQ(chown(s.peer->SlavePath().c_str(), 0, g->gr_gid), 0);
    ASSERT_EQ(chmod(s.peer->SlavePath().c_str(), mode), 0);
}

class Diagnosis : public testing::Test {
protected:
    static void SetUpTestSuite() { EnableExchangeRecord(); }
    void TearDown() override { test::AimPortsNowhere(); }
};

TEST_F(Diagnosis, EachCauseIsToldWithTheDevice)
{
    const Case cases[] = {
        {"a variable that names nothing",
         [](Scene &) { setenv("KORVEX_COM1", "/nonexistent/korvex-diag", 1); },
         ReadRecordOnPort1,
         PortCause::Missing,
         {"cannot open port 1 (/nonexistent/korvex-diag): there is no such device"},
         QStringLiteral("设备不存在")},
        {"a device that is no tty",
         [](Scene &) { setenv("KORVEX_COM1", "/dev/null", 1); },
         ReadRecordOnPort1,
         PortCause::NotSerial,
         {"cannot open port 1 (/dev/null): it is not a serial device"},
         QStringLiteral("不是串口设备")},
        {"a port that a second process holds",
         [](Scene &s) {
             s.peer = std::make_unique<test::PtyPeer>(1);
             s.holder = std::make_unique<test::HeldDevice>(s.peer->SlavePath());
             ASSERT_TRUE(s.holder->held());
             s.texts = {"cannot open port 1 (" + s.peer->SlavePath() + ")",
                        "in use by another program (PID " + std::to_string(s.holder->pid())};
         },
         ReadRecordOnPort1,
         PortCause::InUse,
         {},
         QStringLiteral("设备正被其他程序占用（PID ")},
        {"a silent controller",
         [](Scene &s) {
             s.sim = std::make_unique<test::SimPort>();
             (*s.sim)->SetFault(sim::Fault::NoReply);
             s.texts = {"no controller answered on port 1 (" + (*s.sim)->SlavePath() + ")"};
         },
         ReadRecordOnPort1,
         PortCause::NoAnswer,
         {},
         QStringLiteral("控制卡没有应答")},
        {"a controller that answers other than OK",
         [](Scene &s) {
             s.sim = std::make_unique<test::SimPort>();
             (*s.sim)->SetFault(sim::Fault::NotOk);
         },
         LiveChangeOnPort1,
         PortCause::NotOk,
         {"answered with 4E 4F instead of OK"},
         QStringLiteral("应答了 4E 4F，而不是 OK")},
        {"a reply cut short",
         [](Scene &s) {
             s.sim = std::make_unique<test::SimPort>();
             (*s.sim)->SetFault(sim::Fault::ShortReply);
         },
         ReadRecordOnPort1,
         PortCause::ShortReply,
         {"was cut short (1023 of 1024 bytes)"},
         QStringLiteral("收到 1023 / 1024 字节")},
        {"no device attached for the port",
         [](Scene &s) {
             s.tree = std::make_unique<test::FakeTree>();
             s.tree->AddUart("ttyS0", 0);
             s.root = s.tree->Root();
             unsetenv("KORVEX_COM1");
         },
         Nothing,
         PortCause::NoDevice,
         {"cannot open port 1: no serial device is attached for it"},
         QStringLiteral("没有接入串口设备")},
        {"the kernel console",
         [](Scene &s) {
             s.tree = std::make_unique<test::FakeTree>();
             s.tree->AddUart("ttyS0", 4);
             s.tree->SetConsole("ttyS0");
             s.root = s.tree->Root();
             setenv("KORVEX_COM1", s.tree->Path("dev/ttyS0").c_str(), 1);
             s.texts = {"refusing to open port 1 (" + s.tree->Path("dev/ttyS0") +
                        "): it is the kernel console"};
         },
         Nothing,
         PortCause::Console,
         {},
         QStringLiteral("系统控制台")},
        {"a device only its owner may open",
         [](Scene &s) { RestrictedPty(s, "tty", 0600); },
         ReadRecordOnPort1,
         PortCause::Permission,
         {"permission denied", "only its owner may open it (group tty, mode 0600)",
          "'sudo usermod -aG dialout $USER'", "log out and in again"},
         QStringLiteral("用户组 tty，权限 0600"),
         true},
        {"a device of a group the user is not in",
         [](Scene &s) { RestrictedPty(s, "dialout", 0660); },
         ReadRecordOnPort1,
         PortCause::Permission,
         {"permission denied", "belongs to group dialout",
          "add yourself with 'sudo usermod -aG dialout $USER'", "a new login is needed"},
         QStringLiteral("sudo usermod -aG dialout $USER"),
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.asNobody && geteuid() != 0) {
            std::printf("skipped (needs root to become nobody): %s\n", c.what);
            continue;
        }
        Scene s;
        c.arrange(s);
        if (testing::Test::HasFatalFailure())
            return;
        const Told t = c.asNobody ? DiagnoseAsNobody(c, s) : Diagnose(c, s);
        EXPECT_EQ(t.cause, static_cast<int>(c.cause)) << t.text;
        std::vector<std::string> texts = c.texts;
        texts.insert(texts.end(), s.texts.begin(), s.texts.end());
        for (const std::string &part : texts)
            EXPECT_NE(t.text.find(part), std::string::npos) << t.text << "\nlacks: " << part;
        EXPECT_NE(t.zh.find(c.zh.toStdString()), std::string::npos) << t.zh;
        test::AimPortsNowhere();
    }
}

}  // namespace
}  // namespace korvex
