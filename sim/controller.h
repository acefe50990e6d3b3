// The controller card itself, with no line, thread or clock: 1 MiB of
// memory in pages of four 1 KiB blocks, the configuration record it starts
// with, and what each command letter does to the memory and answers. The
// memory can be kept in a file as one raw image.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace korvex::sim {

constexpr size_t kMemorySize = static_cast<size_t>(kPages) * kPageSize;
constexpr size_t kRecordSize = 256;

// What the controller made of one request payload.
struct Answer {
    bool understood = false;     // a letter it knows, with that letter's payload length
    std::vector<uint8_t> reply;  // what it answers; empty: nothing
    FrameLogEntry entry;         // letter, address and result as the log keeps them
    std::string parameters;      // the setting or clock bytes, for a log line
};

class Controller {
public:
    // Memory all zero but for the configuration record: "Ver" when
    // `signature`, the three characters of `firmware` ("1.1" unless it has
    // three) and a pixel count of 2048.
    Controller(const std::string &firmware, bool signature);

    // Carries out one request; `n` counts the payload with its letter.
    Answer Handle(const uint8_t *payload, size_t n);

    // One 1 KiB block; empty (or ignored) outside page 0..255, block 0..3.
    std::vector<uint8_t> Block(int page, int block) const;
    void SetBlock(int page, int block, const std::vector<uint8_t> &data);
    // Bytes 512..767 of page 127 block 3.
    std::array<uint8_t, kRecordSize> ConfigRecord() const;
    void SetConfigRecord(const std::array<uint8_t, kRecordSize> &record);
    const std::vector<uint8_t> &Memory() const { return mem_; }

    // The image file holds the memory as it is, kMemorySize bytes. A file
    // of any other size is not loaded; the memory stays as it was.
    bool LoadImage(const std::string &path);
    // Through a temporary file beside it, so a failed save leaves the old image.
    bool SaveImage(const std::string &path) const;

private:
    std::vector<uint8_t> mem_;
};

}  // namespace korvex::sim
