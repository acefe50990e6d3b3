// The simulator's pseudo-terminal; see pty.h.
#include "sim/pty.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace korvex::sim {

namespace {

// Points `linkPath` at `target`. A symlink already there (one left by an
// earlier run) is replaced; a file of any other kind is never removed.
bool MakeLink(const std::string &target, const std::string &linkPath)
{
    struct stat st {};
    if (lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            errno = EEXIST;
            return false;
        }
        unlink(linkPath.c_str());
    }
    return symlink(target.c_str(), linkPath.c_str()) == 0;
}

}  // namespace

Pty::~Pty()
{
    HangUp();
}

bool Pty::Open(const std::string &linkPath)
{
    if (IsOpen())
        return false;
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0)
        return false;
    char name[256];
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
        HangUp();
        return false;
    }
    slavePath_ = name;
    slaveHold_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slaveHold_ < 0) {
        HangUp();
        return false;
    }
    // Our own side raw: every byte passes both ways unchanged.
    termios t{};
    if (tcgetattr(master_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
    linkPath_.clear();
    if (!linkPath.empty()) {
        if (!MakeLink(slavePath_, linkPath)) {
            const int cause = errno;  // kept for the caller's message
            HangUp();
            errno = cause;
            return false;
        }
        linkPath_ = linkPath;
    }
    return true;
}

void Pty::HangUp()
{
    if (master_ >= 0)
        close(master_);
    if (slaveHold_ >= 0)
        close(slaveHold_);
    master_ = slaveHold_ = -1;
}

void Pty::RemoveLink()
{
    if (linkPath_.empty())
        return;
    char target[256];
    const ssize_t len = readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (len > 0) {
        target[len] = 0;
        if (slavePath_ == target)
            unlink(linkPath_.c_str());
    }
    linkPath_.clear();
}

}  // namespace korvex::sim
