// A scripted controller on a pty for byte-exact tests of the link library:
// it records every frame the host writes (split on the frame header and
// length, without judging the CRC) and answers each with the next scripted
// reply, after that reply's delay. An exhausted script answers nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvex::test {

struct ScriptedReply {
    std::vector<uint8_t> bytes;
    int delayMs = 0;            // after the frame has arrived
    bool hangUp = false;        // close the line instead of answering
    std::vector<uint8_t> tail;  // more bytes, sent tailDelayMs after the first ones
    int tailDelayMs = 0;
};

class PtyPeer {
public:
    // Opens the pty and aims KORVEX_COM<port> at its slave side.
    explicit PtyPeer(int port = 1);
    ~PtyPeer();
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    bool ok() const { return master_ >= 0; }
    const std::string &SlavePath() const { return slavePath_; }

    // Starts answering frames from a thread. Without Start() nothing reads
    // the line, so the host's output piles up (a peer that never reads).
    void Start();

    void Script(ScriptedReply reply);
    void Script(const std::vector<uint8_t> &bytes, int delayMs = 0)
    {
        ScriptedReply r;
        r.bytes = bytes;
        r.delayMs = delayMs;
        Script(std::move(r));
    }
    // Answers the next frame by closing the line after `delayMs`.
    void ScriptHangUp(int delayMs)
    {
        ScriptedReply r;
        r.delayMs = delayMs;
        r.hangUp = true;
        Script(std::move(r));
    }

    std::vector<std::vector<uint8_t>> Frames() const;  // whole frames as written
    std::vector<uint8_t> RawBytes() const;             // every byte received
    int FrameCount() const;
    // Waits until `n` frames have arrived or `timeoutMs` has passed.
    bool WaitFrames(int n, int timeoutMs) const;

    // Closes the master side at once (an adapter pulled out).
    void HangUp();

private:
    void Serve();

    int master_ = -1;
    int hold_ = -1;
    int wake_[2] = {-1, -1};
    std::string slavePath_;
    std::string var_;
    std::thread thread_;
    mutable std::mutex mu_;
    std::deque<ScriptedReply> script_;
    std::vector<std::vector<uint8_t>> frames_;
    std::vector<uint8_t> raw_;
    bool stop_ = false;
};

// Milliseconds on the monotonic clock since `start`.
inline double MsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Small byte-vector helpers for expected wire contents.
std::vector<uint8_t> Bytes(std::initializer_list<int> values);
std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t> &b);
std::vector<uint8_t> HeaderBytes();  // ESC "$Quorl0P"

}  // namespace korvex::test
