// Holders of a device from /proc/locks and /proc/<pid>/fd.
#include "app/device_holders.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace korvex {

namespace {

// The command line of `pid` with blanks between its words, cut to a
// readable length; its short name when the command line is empty.
std::string CommandOf(int pid)
{
    const std::string dir = "/proc/" + std::to_string(pid);
    std::string text;
    if (FILE *f = std::fopen((dir + "/cmdline").c_str(), "re")) {
        char buf[256];
        const size_t n = std::fread(buf, 1, sizeof buf, f);
        std::fclose(f);
        text.assign(buf, n);
        while (!text.empty() && text.back() == '\0')
            text.pop_back();
        std::replace(text.begin(), text.end(), '\0', ' ');
    }
    if (text.empty()) {
        if (FILE *f = std::fopen((dir + "/comm").c_str(), "re")) {
            char buf[64] = "";
            if (std::fgets(buf, sizeof buf, f))
                text = buf;
            std::fclose(f);
            if (!text.empty() && text.back() == '\n')
                text.pop_back();
        }
    }
    if (text.size() > 60)
        text = text.substr(0, 57) + "...";
    return text;
}

void Add(std::vector<DeviceHolder> &holders, int pid, bool locked)
{
    for (DeviceHolder &h : holders) {
        if (h.pid == pid) {
            h.locked = h.locked || locked;
            return;
        }
    }
    holders.push_back({pid, CommandOf(pid), locked});
}

// Lines such as "1: FLOCK  ADVISORY  WRITE 4711 00:05:87 0 EOF"; the
// device number of the file system in hex, then the inode. Waiting
// requests ("1: -> FLOCK ...") hold nothing yet.
void AddLockHolders(const struct stat &st, std::vector<DeviceHolder> &holders)
{
    FILE *f = std::fopen("/proc/locks", "re");
    if (!f)
        return;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        char type[16], mode[16], access[16];
        int pid = 0;
        unsigned maj = 0, min = 0;
        unsigned long ino = 0;
        if (std::strstr(line, "->"))
            continue;
        if (std::sscanf(line, "%*d: %15s %15s %15s %d %x:%x:%lu", type, mode, access, &pid, &maj,
                        &min, &ino) != 7)
            continue;
        if (maj == major(st.st_dev) && min == minor(st.st_dev) && ino == st.st_ino &&
            pid != getpid() && pid > 0)
            Add(holders, pid, true);
    }
    std::fclose(f);
}

void AddOpeners(const struct stat &st, std::vector<DeviceHolder> &holders)
{
    DIR *proc = opendir("/proc");
    if (!proc)
        return;
    while (const dirent *p = readdir(proc)) {
        const int pid = std::atoi(p->d_name);
        if (pid <= 0 || pid == getpid())
            continue;
        const std::string fdDir = std::string("/proc/") + p->d_name + "/fd";
        DIR *fds = opendir(fdDir.c_str());
        if (!fds)
            continue;  // another user's process: only its locks show
        while (const dirent *e = readdir(fds)) {
            if (e->d_name[0] == '.')
                continue;
            struct stat target {};
            if (stat((fdDir + "/" + e->d_name).c_str(), &target) != 0)
                continue;
            const bool same = S_ISCHR(st.st_mode)
                                  ? S_ISCHR(target.st_mode) && target.st_rdev == st.st_rdev
                                  : target.st_dev == st.st_dev && target.st_ino == st.st_ino;
            if (same) {
                Add(holders, pid, false);
                break;
            }
        }
        closedir(fds);
    }
    closedir(proc);
}

}  // namespace

std::vector<DeviceHolder> DeviceHolders(const std::string &path)
{
    std::vector<DeviceHolder> holders;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return holders;
    AddLockHolders(st, holders);
    AddOpeners(st, holders);
    std::stable_sort(
        holders.begin(), holders.end(),
        [](const DeviceHolder &a, const DeviceHolder &b) { return a.locked > b.locked; });
    return holders;
}

}  // namespace korvex
