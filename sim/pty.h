// The pseudo-terminal that stands for the serial line: the master side the
// simulator serves, raw, and the slave side the host opens as its device,
// held open by the simulator as well so that the master sees no hang-up
// between the host's opens. Optionally a symlink under a fixed path
// points at the slave side.
#pragma once

#include <string>

namespace korvex::sim {

class Pty {
public:
    Pty() = default;
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    // Opens a new pair, non-blocking, and makes the symlink when `linkPath`
    // is set. An existing symlink there is replaced; any other file is left
    // alone and the open fails. On failure nothing stays open.
    bool Open(const std::string &linkPath);
    bool IsOpen() const { return master_ >= 0; }
    int Master() const { return master_; }
    // The slave side's path; kept after HangUp.
    const std::string &SlavePath() const { return slavePath_; }
    // Closes both sides as an unplugged adapter would: the master first, so
    // the host's open slave is hung up at once. The symlink stays.
    void HangUp();
    // Removes the symlink if it still points at this pty's slave side.
    void RemoveLink();

private:
    int master_ = -1;
    int slaveHold_ = -1;
    std::string slavePath_;
    std::string linkPath_;
};

}  // namespace korvex::sim
