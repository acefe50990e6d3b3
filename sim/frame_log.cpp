// The simulator's record of the frames it saw; see frame_log.h.
#include "sim/frame_log.h"

#include <cstdio>

namespace korvex::sim {

int FrameLog::Received(const std::vector<uint8_t> &payload)
{
    const char letter = static_cast<char>(payload[0]);
    lastPayload_[letter] = payload;
    ++counts_[letter];
    return ++frames_;
}

void FrameLog::AddBadCrc(char command)
{
    FrameLogEntry e;
    e.command = command;
    e.crcOk = false;
    e.result = "bad-crc";
    entries_.push_back(e);
}

std::vector<uint8_t> FrameLog::LastPayload(char command) const
{
    const auto it = lastPayload_.find(command);
    return it == lastPayload_.end() ? std::vector<uint8_t>{} : it->second;
}

int FrameLog::CountOf(char command) const
{
    const auto it = counts_.find(command);
    return it == counts_.end() ? 0 : it->second;
}

std::string LogLine(int frame, const FrameLogEntry &entry, const std::string &parameters)
{
    if (!entry.crcOk)
        return "korvex-sim: frame with a bad CRC ignored\n";
    char where[48] = "";
    if (entry.page >= 0)
        std::snprintf(where, sizeof where, " page %d block %d", entry.page, entry.block);
    char line[160];
    std::snprintf(line, sizeof line, "korvex-sim: frame %d: %c%s%s -> %s\n", frame, entry.command,
                  where, parameters.c_str(), entry.result.c_str());
    return line;
}

}  // namespace korvex::sim
