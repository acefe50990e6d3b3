// Request frames on the serial line: header, length, payload, CRC-16/XMODEM.
// The one place where frame bytes are put together.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvex::link {

// ESC followed by the eight characters "$Quorl0P"; no terminating zero.
constexpr uint8_t kHeader[9] = {0x1B, '$', 'Q', 'u', 'o', 'r', 'l', '0', 'P'};
constexpr size_t kHeaderSize = sizeof kHeader;
// Header, two length bytes, two CRC bytes.
constexpr size_t kFrameOverhead = kHeaderSize + 4;
// The largest payload in use: letter, two address bytes, 1024 data bytes.
constexpr size_t kMaxPayload = 1027;
constexpr size_t kMaxFrame = kMaxPayload + kFrameOverhead;
// The largest reply: the 1024 raw bytes answering 'A'.
constexpr size_t kBlockReply = 1024;
// The status reply "OK" to 'B'..'F'.
constexpr size_t kStatusReply = 2;

// CRC-16/XMODEM: polynomial 0x1021, register starts at 0, most significant
// bit first, no reflection, no final XOR ("123456789" gives 0x31C3).
// Continues from `crc`, one table lookup per byte.
uint16_t Crc16Xmodem(const uint8_t *data, size_t n, uint16_t crc = 0);

// The CRC a frame carries: over the two big-endian length bytes and then
// the payload; the header is not covered.
uint16_t FrameCrc(const uint8_t *payload, size_t n);

// Writes the whole frame for `payload` (n bytes, 1..kMaxPayload) into
// `out`, which holds at least n + kFrameOverhead bytes. Returns the frame
// size, or 0 when n is out of range.
size_t BuildFrame(const uint8_t *payload, size_t n, uint8_t *out);

// The reply length the controller sends for a command letter: 1024 for
// 'A', none for 'G', the two status bytes for every other letter.
size_t ReplyLength(uint8_t command);

// Every frame is sent at most this often: once, and once more when the
// reply is missing or cut short. A complete reply ends the exchange.
constexpr int kAttempts = 2;

// What a complete or partial reply to `command` means.
enum class ReplyVerdict {
    Accepted,    // all `ReplyLength` bytes came, and a status reply is "OK"
    Refused,     // a complete status reply other than "OK": not sent again
    Incomplete,  // fewer bytes than expected (none included): sent again
};
// Judges `got` bytes of `reply` against what `command` expects.
ReplyVerdict JudgeReply(uint8_t command, const uint8_t *reply, size_t got);

// The two address bytes of page and block: the upper four bits of the page
// (shifted with its sign), then ((page & 15) * 4 + block) * 4 cut to 8 bits.
// Read as a big-endian number they are the block's offset in 256-byte units.
void AddressBytes(int32_t page, int32_t block, uint8_t out[2]);

}  // namespace korvex::link
