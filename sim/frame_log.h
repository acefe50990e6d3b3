// What the simulator saw, as tests read it back: one entry per frame (bad
// ones included), the last payload and the count of each command letter,
// the numbering of frames with a good CRC and the bytes skipped between
// frames; and the line that tells an operator of each frame.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace korvex::sim {

class FrameLog {
public:
    // Counts a frame with a good CRC and keeps its payload; returns the
    // frame's number (1-based).
    int Received(const std::vector<uint8_t> &payload);
    void Add(const FrameLogEntry &entry) { entries_.push_back(entry); }
    // Enters a frame with a bad CRC, which is not numbered.
    void AddBadCrc(char command);
    void AddSkipped(int bytes) { skipped_ += bytes; }
    // Forgets everything; numbering starts again at 1.
    void Clear() { *this = FrameLog(); }

    const std::vector<FrameLogEntry> &Entries() const { return entries_; }
    std::vector<uint8_t> LastPayload(char command) const;  // empty when none came
    int Frames() const { return frames_; }
    int CountOf(char command) const;
    int Skipped() const { return skipped_; }

private:
    std::vector<FrameLogEntry> entries_;
    std::map<char, std::vector<uint8_t>> lastPayload_;
    std::map<char, int> counts_;
    int frames_ = 0;
    int skipped_ = 0;
};

// The operator's line for frame number `frame` (ignored for a bad CRC),
// newline included; `parameters` are the setting or clock bytes.
std::string LogLine(int frame, const FrameLogEntry &entry, const std::string &parameters);

}  // namespace korvex::sim
