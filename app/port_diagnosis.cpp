// The failure causes and their words, from the link library's trace of the
// latest connection and from the port's survey.
#include "app/port_diagnosis.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace korvex {

namespace {

// The private trace file: a folder only this user can enter, made once,
// removed at exit by the process that made it.
class RecordFile {
public:
    RecordFile()
    {
        QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (base.isEmpty())
            base = QDir::tempPath();
        QTemporaryDir dir(base + QStringLiteral("/korvex-XXXXXX"));
        if (dir.isValid()) {
            dir.setAutoRemove(false);
            dir_ = dir.path();
            path_ = dir_ + QStringLiteral("/link-trace");
        }
    }
    ~RecordFile()
    {
        if (dir_.isEmpty() || QCoreApplication::applicationPid() != owner_)
            return;
        QFile::remove(path_);
        QDir().rmdir(dir_);
    }
    const QString &Path() const { return path_; }

private:
    qint64 owner_ = QCoreApplication::applicationPid();
    QString dir_, path_;
};

// What the trace of the latest connection says (formats: link/trace.cpp).
struct Record {
    bool valid = false;
    int port = 0;
    std::string outcome;   // the open's word: "ok", "missing", ...
    bool attempt = false;  // an exchange attempt followed
    bool sent = false;
    size_t got = 0, expected = 0;
    bool status = false;  // a whole two-byte status reply came
    unsigned bytes[2] = {0, 0};
};

const char *TraceSetting()
{
    const char *v = std::getenv("KORVEX_LINK_TRACE");
    return v && *v && std::strcmp(v, "0") != 0 ? v : nullptr;
}

Record ReadRecord()
{
    Record r;
    const char *path = TraceSetting();
    if (!path || std::strcmp(path, "1") == 0)
        return r;  // off, or on stderr: nothing to read back
    FILE *f = std::fopen(path, "re");
    if (!f)
        return r;
    char line[512];
    while (std::fgets(line, sizeof line, f)) {
        int port = 0;
        char word[32];
        if (std::sscanf(line, "korvex_api: port %d open: %31s", &port, word) == 2) {
            r = Record();
            r.valid = true;
            r.port = port;
            r.outcome = word;
            continue;
        }
        if (!r.valid || std::strncmp(line, "korvex_api: '", 13) != 0)
            continue;
        // "'L' attempt K, S bytes sent|NOT sent in time[, reply G/E[ XX XX]]"
        r.attempt = true;
        r.sent = std::strstr(line, " NOT sent") == nullptr;
        r.got = r.expected = 0;
        r.status = false;
        if (const char *reply = std::strstr(line, ", reply ")) {
            const int n = std::sscanf(reply, ", reply %zu/%zu %x %x", &r.got, &r.expected,
                                      &r.bytes[0], &r.bytes[1]);
            r.status = n == 4;
        }
    }
    std::fclose(f);
    return r;
}

PortCause FromState(PortState state)
{
    switch (state) {
    case PortState::NoDevice: return PortCause::NoDevice;
    case PortState::Missing: return PortCause::Missing;
    case PortState::Console: return PortCause::Console;
    case PortState::NotSerial: return PortCause::NotSerial;
    case PortState::NoPermission: return PortCause::Permission;
    case PortState::InUse: return PortCause::InUse;
    case PortState::Free: break;
    }
    return PortCause::Unknown;
}

// The open's word from the trace; where it says no more than "error", the
// survey may.
PortCause FromOutcome(const std::string &word, PortState state)
{
    struct {
        const char *word;
        PortCause cause;
    } const words[] = {
        {"no-device", PortCause::NoDevice}, {"console", PortCause::Console},
        {"missing", PortCause::Missing},    {"permission", PortCause::Permission},
        {"busy", PortCause::InUse},         {"not-serial", PortCause::NotSerial},
        {"setup", PortCause::SetupRefused}, {"baud", PortCause::SetupRefused},
    };
    for (const auto &w : words) {
        if (word == w.word)
            return w.cause;
    }
    return FromState(state);
}

std::string Hex(uint8_t b)
{
    char text[4];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

std::string Octal(unsigned mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

std::string PermissionHint(const PortSurvey &s)
{
    const std::string &g = s.group;
    if (s.groupMayUse && s.memberFromNextLogin)
        return "you are in its group " + g +
               " since this login began: log out and in again for it to apply";
    if (s.groupMayUse)
        return "it belongs to group " + g + ": add yourself with 'sudo usermod -aG " + g +
               " $USER', then log out and in again (a new login is needed for the group to apply)";
    return "only its owner may open it (group " + g + ", mode " + Octal(s.mode) +
           "): give it to a group such as dialout with read and write access (a udev rule), "
           "add yourself with 'sudo usermod -aG dialout $USER', then log out and in again";
}

QString PermissionHintZh(const PortSurvey &s)
{
    const QString g = QString::fromStdString(s.group);
    if (s.groupMayUse && s.memberFromNextLogin)
        return QStringLiteral("您已加入用户组 %1，需重新登录后才生效").arg(g);
    if (s.groupMayUse)
        return QStringLiteral("设备属于用户组 %1：请执行 sudo usermod -aG %1 $USER "
                              "加入该组，然后重新登录（新登录后才生效）")
            .arg(g);
    return QStringLiteral("只有设备的所有者可以打开它（用户组 %1，权限 %2）：请用 udev "
                          "规则把设备交给有读写权限的用户组（如 dialout），执行 sudo usermod "
                          "-aG dialout $USER，然后重新登录")
        .arg(g, QString::fromStdString(Octal(s.mode)));
}

}  // namespace

void EnableExchangeRecord()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    if (TraceSetting())
        return;  // the user's own choice stands
    static RecordFile record;
    if (!record.Path().isEmpty())
        qputenv("KORVEX_LINK_TRACE", QFile::encodeName(record.Path()));
}

ExchangeFailure DiagnoseExchange(int port, const std::string &root)
{
    ExchangeFailure f;
    f.port = SurveyPort(port, link::ListSerialDevices(root), root);
    if (f.port.state == PortState::NoDevice || f.port.state == PortState::Console) {
        f.cause = FromState(f.port.state);
        return f;
    }
    const Record r = ReadRecord();
    if (!r.valid || r.port != port) {
        f.cause = FromState(f.port.state);
        return f;
    }
    if (r.outcome != "ok") {
        f.cause = FromOutcome(r.outcome, f.port.state);
    } else if (!r.attempt) {
        f.cause = PortCause::Unknown;
    } else if (!r.sent) {
        f.cause = PortCause::NotSent;
    } else if (r.got == 0) {
        f.cause = PortCause::NoAnswer;
    } else if (r.got < r.expected) {
        f.cause = PortCause::ShortReply;
        f.got = r.got;
        f.expected = r.expected;
    } else if (r.status && !(r.bytes[0] == 'O' && r.bytes[1] == 'K')) {
        f.cause = PortCause::NotOk;
        f.reply[0] = static_cast<uint8_t>(r.bytes[0]);
        f.reply[1] = static_cast<uint8_t>(r.bytes[1]);
    }
    return f;
}

std::string ExchangeFailure::Text() const
{
    std::string where = "port " + std::to_string(port.port);
    if (!port.where.path.empty())
        where += " (" + port.where.path + ")";
    return Text(where);
}

std::string ExchangeFailure::Text(const std::string &where) const
{
    const std::string open = "cannot open " + where + ": ";
    switch (cause) {
    case PortCause::NoDevice:
        return open + "no serial device is attached for it ('korvex-cli ports' lists the ports "
                      "and their devices)";
    case PortCause::Missing: return open + "there is no such device";
    case PortCause::Permission: return open + "permission denied; " + PermissionHint(port);
    case PortCause::InUse:
        return open + "it is in use by another program (" +
               (port.holders.empty() ? std::string("the system does not say which")
                                     : DescribeHolders(port.holders)) +
               ")";
    case PortCause::NotSerial: return open + "it is not a serial device";
    case PortCause::Console: return "refusing to open " + where + ": it is the kernel console";
    case PortCause::SetupRefused: return open + "the device refused the line settings";
    case PortCause::NotSent:
        return "a frame could not be sent on " + where +
               " in time (is the line held by hardware flow control?)";
    case PortCause::NoAnswer: return "no controller answered on " + where;
    case PortCause::NotOk:
        return "the controller on " + where + " answered with " + Hex(reply[0]) + " " +
               Hex(reply[1]) + " instead of OK";
    case PortCause::ShortReply:
        return "the controller's reply on " + where + " was cut short (" + std::to_string(got) +
               " of " + std::to_string(expected) + " bytes)";
    case PortCause::Unknown: break;
    }
    return "the exchange with the controller on " + where + " failed";
}

QString ExchangeFailure::TextZh() const
{
    switch (cause) {
    case PortCause::NoDevice: return QStringLiteral("没有接入串口设备");
    case PortCause::Missing: return QStringLiteral("设备不存在");
    case PortCause::Permission:
        return QStringLiteral("没有权限打开设备。") + PermissionHintZh(port);
    case PortCause::InUse:
        return port.holders.empty()
                   ? QStringLiteral("设备正被其他程序占用")
                   : QStringLiteral("设备正被其他程序占用（%1）")
                         .arg(QString::fromStdString(DescribeHolders(port.holders)));
    case PortCause::NotSerial: return QStringLiteral("不是串口设备");
    case PortCause::Console: return QStringLiteral("这是系统控制台，拒绝打开");
    case PortCause::SetupRefused: return QStringLiteral("设备不接受串口参数设置");
    case PortCause::NotSent: return QStringLiteral("数据未能按时发出（串口可能被硬件流控阻塞）");
    case PortCause::NoAnswer: return QStringLiteral("串口已打开，但控制卡没有应答");
    case PortCause::NotOk:
        return QStringLiteral("控制卡应答了 %1 %2，而不是 OK")
            .arg(QString::fromStdString(Hex(reply[0])), QString::fromStdString(Hex(reply[1])));
    case PortCause::ShortReply:
        return QStringLiteral("控制卡的应答不完整（收到 %1 / %2 字节）").arg(got).arg(expected);
    case PortCause::Unknown: break;
    }
    return QStringLiteral("与控制卡通信失败");
}

QString PortStatusTip(int port, bool connected, const std::vector<link::SerialDevice> &listed)
{
    if (connected)
        return QStringLiteral("设备：") + DeviceTextZh(port, link::ResolvePort(port, listed, ""));
    const ExchangeFailure f = DiagnoseExchange(port);
    if (f.cause == PortCause::NoDevice)
        return f.TextZh();
    return QStringLiteral("设备：") + DeviceTextZh(port, f.port.where) +
           QStringLiteral("\n原因：") + f.TextZh();
}

}  // namespace korvex
