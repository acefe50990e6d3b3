// How the serving thread waits: for bytes on the line (or room on it while
// a reply is held up), for a deadline, or for a call from another thread
// (Stop, Unplug), which arrives through a pipe polled beside the line.
#pragma once

#include <cstdint>

namespace korvex::sim {

class Waiter {
public:
    Waiter() = default;
    ~Waiter();
    Waiter(const Waiter &) = delete;
    Waiter &operator=(const Waiter &) = delete;

    // Makes the pipe (closing an earlier one first). False if it cannot.
    bool Open();
    void Close();
    // From any thread: ends the wait in progress, or else the next one.
    void Wake();

    enum class End {
        Called,  // Wake() was called, or a signal came: look at the flags again
        Line,    // the line is ready or hung up, or the time ran out: see `revents`
        Failed,  // polling failed: serving cannot go on
    };
    // Waits on `fd` for input, and for room when `wantRoom`, for at most
    // `timeoutNs` (-1: no limit).
    End Wait(int fd, bool wantRoom, int64_t timeoutNs, short *revents);

private:
    int pipe_[2] = {-1, -1};
};

}  // namespace korvex::sim
