// Splits the incoming bytes into request frames; see frame_reader.h.
#include "sim/frame_reader.h"

#include <algorithm>
#include <cstring>

namespace korvex::sim {

namespace {

// CRC-16/XMODEM computed bit by bit: the simulator keeps its own so it
// checks the host's table-driven one rather than sharing it.
uint16_t Crc16(const uint8_t *data, size_t n)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

uint16_t BigEndian16(const uint8_t *p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

}  // namespace

void FrameReader::Feed(const uint8_t *data, size_t n, int64_t nowNs)
{
    if (n == 0)
        return;
    if (buf_.empty())
        firstNs_ = nowNs;
    lastNs_ = nowNs;
    buf_.insert(buf_.end(), data, data + n);
}

bool FrameReader::Next(int64_t nowNs, Request *request)
{
    size_t pos = 0;
    bool found = false;
    const auto skip = [&] {
        ++pos;
        ++skipped_;
    };
    while (!found && pos < buf_.size()) {
        const uint8_t *at = buf_.data() + pos;
        const size_t avail = buf_.size() - pos;
        if (std::memcmp(at, kFrameHeader, std::min(avail, kHeaderSize)) != 0) {
            skip();
            continue;
        }
        if (avail < kPayloadOffset)
            break;  // a header so far: wait for the length
        const size_t n = BigEndian16(at + kLengthOffset);
        if (n < kMinPayload || n > kMaxPayload) {
            skip();
            continue;
        }
        if (avail < FrameSize(n)) {
            if (nowNs - lastNs_ > kStaleFrameNs) {
                skip();  // abandoned half-way: look further on
                continue;
            }
            break;
        }
        const uint8_t *payload = at + kPayloadOffset;
        request->payload.assign(payload, payload + n);
        request->crcOk = Crc16(at + kLengthOffset, kLengthSize + n) == BigEndian16(payload + n);
        request->arrivalNs = firstNs_;
        found = true;
        if (request->crcOk) {
            pos += FrameSize(n);
            firstNs_ = lastNs_;
        } else {
            skip();  // the next header may start inside this frame
        }
    }
    buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(pos));
    return found;
}

int FrameReader::TakeSkipped()
{
    const int n = skipped_;
    skipped_ = 0;
    return n;
}

int64_t FrameReader::RecheckAtNs() const
{
    // A millisecond past the limit, so that the look taken then finds it passed.
    return buf_.empty() ? -1 : lastNs_ + kStaleFrameNs + 1'000'000;
}

void FrameReader::Clear()
{
    buf_.clear();
}

}  // namespace korvex::sim
