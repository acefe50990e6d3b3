// Port states on Linux from stat, access, the group database and /proc.
#include "app/port_survey.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace korvex {

namespace {

// A character device the kernel files under a class other than tty
// (/dev/null is "mem") is no serial port. Ptys have no sysfs entry and
// pass.
bool IsOtherCharDevice(const struct stat &st, const std::string &root)
{
    const std::string link = root + "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                             std::to_string(minor(st.st_rdev)) + "/subsystem";
    char real[PATH_MAX];
    if (!realpath(link.c_str(), real))
        return false;
    const std::string cls = real;
    return cls.substr(cls.rfind('/') + 1) != "tty";
}

void FillGroup(const struct stat &st, PortSurvey &s)
{
    s.mode = st.st_mode & 07777;
    s.groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    const group *g = getgrgid(st.st_gid);
    s.group = g ? g->gr_name : std::to_string(st.st_gid);
    if (!g)
        return;
    const passwd *me = getpwuid(getuid());
    bool listed = false;
    for (char **m = g->gr_mem; me && m && *m; ++m)
        listed = listed || std::string(*m) == me->pw_name;
    // Room for as many groups as the system allows (65536 on Linux, 256 KiB:
    // on the heap, not in this frame).
    std::vector<gid_t> mine(NGROUPS_MAX + 1);
    const int n = getgroups(NGROUPS_MAX, mine.data());
    const auto end = mine.begin() + std::max(n, 0);
    const bool inLogin = getgid() == st.st_gid || std::find(mine.begin(), end, st.st_gid) != end;
    s.memberFromNextLogin = listed && !inLogin;
}

}  // namespace

PortSurvey SurveyPort(int port, const std::vector<link::SerialDevice> &listed,
                      const std::string &root)
{
    PortSurvey s;
    s.port = port;
    s.where = link::ResolvePort(port, listed, root);
    const std::string &path = s.where.path;
    struct stat st {};
    if (path.empty()) {
        s.state = PortState::NoDevice;
    } else if (s.where.console) {
        s.state = PortState::Console;
    } else if (stat(path.c_str(), &st) != 0) {
        s.state = PortState::Missing;
    } else {
        FillGroup(st, s);
        if (!S_ISCHR(st.st_mode) || IsOtherCharDevice(st, root))
            s.state = PortState::NotSerial;
        else if (access(path.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
            s.state = PortState::NoPermission;
        else {
            s.holders = DeviceHolders(path);
            const bool locked = !s.holders.empty() && s.holders.front().locked;
            s.state = locked ? PortState::InUse : PortState::Free;
        }
    }
    return s;
}

}  // namespace korvex
