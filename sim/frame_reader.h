// Request frames out of the bytes the host writes: finds the header, takes
// the length, waits for the rest and checks the CRC. Bytes that cannot
// start a frame are skipped and counted, and a frame that stops arriving
// half-way is given up so that it cannot hold back the next one. Time is
// passed in by the caller; the reader keeps no clock of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvex::sim {

// A request frame: header, payload length (two bytes, high first, counting
// the payload only), payload (command letter first), then a CRC-16/XMODEM
// of the length bytes and the payload (two bytes, high first).
constexpr uint8_t kFrameHeader[] = {0x1B, '$', 'Q', 'u', 'o', 'r', 'l', '0', 'P'};
constexpr size_t kHeaderSize = sizeof kFrameHeader;
constexpr size_t kLengthOffset = kHeaderSize;
constexpr size_t kLengthSize = 2;
constexpr size_t kPayloadOffset = kLengthOffset + kLengthSize;
constexpr size_t kCrcSize = 2;
constexpr size_t kMinPayload = 1;     // the command letter alone
constexpr size_t kMaxPayload = 1027;  // letter, two address bytes and a 1 KiB block

constexpr size_t FrameSize(size_t payload)
{
    return kPayloadOffset + payload + kCrcSize;
}

// A partial frame with no new byte for this long is given up.
constexpr int64_t kStaleFrameNs = 200'000'000;

struct Request {
    std::vector<uint8_t> payload;  // command letter first
    bool crcOk = false;            // false: the frame is to be ignored
    int64_t arrivalNs = 0;         // when the chunk holding its first byte arrived
};

class FrameReader {
public:
    // Takes bytes that arrived at `nowNs`.
    void Feed(const uint8_t *data, size_t n, int64_t nowNs);
    // The next whole frame in what has arrived, good CRC or bad; false when
    // none is complete yet.
    bool Next(int64_t nowNs, Request *request);
    // Bytes skipped since the last call, bad frames included.
    int TakeSkipped();
    // When a partial frame held now would be given up; -1 when nothing is held.
    int64_t RecheckAtNs() const;
    // Forgets what has arrived (the line is gone).
    void Clear();

private:
    std::vector<uint8_t> buf_;
    int64_t firstNs_ = 0;  // arrival of the chunk holding buf_[0]
    int64_t lastNs_ = 0;   // arrival of the latest chunk
    int skipped_ = 0;
};

}  // namespace korvex::sim
