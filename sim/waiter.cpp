// The serving thread's wait; see waiter.h.
#include "sim/waiter.h"

#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace korvex::sim {

Waiter::~Waiter()
{
    Close();
}

bool Waiter::Open()
{
    Close();
    return pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) == 0;
}

void Waiter::Close()
{
    for (int &fd : pipe_) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
}

void Waiter::Wake()
{
    const char c = 'w';
    (void)!write(pipe_[1], &c, 1);
}

Waiter::End Waiter::Wait(int fd, bool wantRoom, int64_t timeoutNs, short *revents)
{
    pollfd fds[2] = {{fd, static_cast<short>(POLLIN | (wantRoom ? POLLOUT : 0)), 0},
                     {pipe_[0], POLLIN, 0}};
    timespec ts{};
    timespec *tsp = nullptr;
    if (timeoutNs >= 0) {
        ts.tv_sec = static_cast<time_t>(timeoutNs / 1000000000);
        ts.tv_nsec = static_cast<long>(timeoutNs % 1000000000);
        tsp = &ts;
    }
    *revents = 0;
    if (ppoll(fds, 2, tsp, nullptr) < 0)
        return errno == EINTR ? End::Called : End::Failed;
    if (fds[1].revents) {
        char c;
        while (read(pipe_[0], &c, 1) > 0) {
        }
        return End::Called;
    }
    *revents = fds[0].revents;
    return End::Line;
}

}  // namespace korvex::sim
