// A second process that holds a device open with an exclusive flock, as
// another serial program would, until the object goes away.
#pragma once

#include <string>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvex::test {

class HeldDevice {
public:
    explicit HeldDevice(const std::string &path)
    {
        int ready[2];
        if (pipe(ready) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const char ok = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 1 : 0;
            if (write(ready[1], &ok, 1) != 1 || !ok)
                _exit(1);
            for (;;)
                pause();  // until killed
        }
        close(ready[1]);
        pollfd p{ready[0], POLLIN, 0};
        char ok = 0;
        held_ = pid_ > 0 && poll(&p, 1, 5000) == 1 && read(ready[0], &ok, 1) == 1 && ok == 1;
        close(ready[0]);
    }
    ~HeldDevice()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    HeldDevice(const HeldDevice &) = delete;
    HeldDevice &operator=(const HeldDevice &) = delete;

    bool held() const { return held_; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool held_ = false;
};

}  // namespace korvex::test
