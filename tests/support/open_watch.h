// Counts the opens of a file (inotify), without opening it: proves that
// something only looked at a device.
#pragma once

#include <string>

#include <sys/inotify.h>
#include <unistd.h>

namespace korvex::test {

// Counts the opens of `path` from now on.
struct OpenWatch {
    explicit OpenWatch(const std::string &path)
    {
        fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd >= 0)
            inotify_add_watch(fd, path.c_str(), IN_OPEN);
    }
    ~OpenWatch() { close(fd); }
    int Opens() const
    {
        int count = 0;
        alignas(inotify_event) char buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0) {
            for (char *p = buf; p < buf + n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(p);
                count += (e->mask & IN_OPEN) != 0;
                p += sizeof(inotify_event) + e->len;
            }
        }
        return count;
    }
    int fd = -1;
};

}  // namespace korvex::test
