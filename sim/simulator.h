// korvex-sim: a controller card on a pseudo-terminal. Serves the framed
// protocol from a thread so tests can drive the real library against it.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvex::sim {

constexpr int kPages = 256;
constexpr int kPageSize = 4096;
constexpr int kBlockSize = 1024;

// Ways the simulated controller misbehaves on purpose.
enum class Fault {
    None,
    NoReply,     // answers nothing
    ShortReply,  // answers one byte less than expected
    NotOk,       // answers two bytes other than "OK" ("NO")
    LateReply,   // answers after the host's read deadline has passed
    ExtraBytes,  // answers "OK" followed by extra bytes
    Unplug,      // closes its side of the line instead of answering
    Corrupt,     // answers "OK" to a block or record write but stores one bit flipped
    NoisyRead,   // answers a block read with one byte changed; the memory stays as it is
};

struct FrameLogEntry {
    char command = 0;  // 'A'..'G', or '?' for an unknown letter
    int page = -1;     // for 'A','B','C'
    int block = -1;    // for 'A','B','C'
    bool crcOk = true;
    std::string result;  // "OK", "DATA", "none", or the fault applied
};

struct Options {
    std::string firmware = "1.1";  // version digits in the initial record
    bool signature = true;         // "Ver" in the initial record
    int baudPacing = 0;            // 0: reply at once; else pace as on a real line
    std::string memoryFile;        // when set, memory is loaded from and saved to it
    std::string linkPath;          // when set, a symlink to the slave pty is made here
    bool logToStderr = false;      // one line per frame
    // How long after a frame has arrived a LateReply answer goes out: past
    // both of the host's 1200 ms reads, so a late controller costs the
    // host its two attempts.
    int lateReplyMs = 2700;
};

class Simulator {
public:
    explicit Simulator(Options options = {});
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // Opens the pty and starts serving. False if the pty cannot be made.
    bool Start();
    // Stops serving and closes the pty (saves memory when a file is set).
    void Stop();
    // Closes the simulator's side as an unplugged adapter would.
    void Unplug();

    const std::string &SlavePath() const;

    // Applies `fault` to every frame from frame number `fromFrame` (1-based,
    // counting every frame received with a good CRC) on; with `count` >= 0
    // only to that many frames. Fault::None clears it. A Corrupt fault with
    // `fromFrame` 0 starts at the first block or record write, and spoils
    // byte `corruptByte` (0..255) of the written data when one is given.
    void SetFault(Fault fault, int fromFrame = 1, int count = -1, int corruptByte = -1);
    // Length of a ShortReply answer; -1 (the default) means one byte less
    // than the full reply.
    void SetShortLength(int bytes);

    // Copies of the state, taken under the lock.
    std::vector<uint8_t> Block(int page, int block) const;  // 1024 bytes
    std::array<uint8_t, 256> ConfigRecord() const;          // bytes 512..767 of page 127 block 3
    void SetConfigRecord(const std::array<uint8_t, 256> &record);
    void SetBlock(int page, int block, const std::vector<uint8_t> &data);
    std::vector<FrameLogEntry> Log() const;
    std::vector<uint8_t> LastPayload(char command) const;  // last payload of that letter
    int FrameCount() const;                                // frames received with a good CRC
    int CountOf(char command) const;
    // Forgets the log, payloads and counts; frame numbering (FrameCount and
    // the fault's fromFrame) starts again at 1.
    void ClearLog();
    // Bytes skipped while looking for the next frame header, bad frames included.
    int GarbageBytes() const;
    // CLOCK_MONOTONIC time (ns) at which the last reply byte was written; 0 if none yet.
    int64_t LastReplyNs() const;
    // Memory as one image of kPages * kPageSize bytes.
    std::vector<uint8_t> Memory() const;
    bool SaveMemory() const;  // to options.memoryFile; false when unset or on error

private:
    struct Impl;
    Impl *impl_;
};

}  // namespace korvex::sim
