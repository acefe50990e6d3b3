#include "link/frame.h"

#include <array>
#include <cstring>

namespace korvex::link {

namespace {

// Entry i is the register after byte i has been shifted through a zero
// register, polynomial 0x1021, most significant bit first.
constexpr std::array<uint16_t, 256> MakeCrcTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t reg = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            reg = static_cast<uint16_t>((reg & 0x8000) ? (reg << 1) ^ 0x1021 : reg << 1);
        table[i] = reg;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

uint16_t Crc16Xmodem(const uint8_t *data, size_t n, uint16_t crc)
{
    for (size_t i = 0; i < n; ++i)
        crc = static_cast<uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

uint16_t FrameCrc(const uint8_t *payload, size_t n)
{
    const uint8_t length[2] = {static_cast<uint8_t>((n >> 8) & 0xFF),
                               static_cast<uint8_t>(n & 0xFF)};
    return Crc16Xmodem(payload, n, Crc16Xmodem(length, 2));
}

size_t BuildFrame(const uint8_t *payload, size_t n, uint8_t *out)
{
    if (n < 1 || n > kMaxPayload)
        return 0;
    uint8_t *p = out;
    std::memcpy(p, kHeader, kHeaderSize);
    p += kHeaderSize;
    *p++ = static_cast<uint8_t>((n >> 8) & 0xFF);
    *p++ = static_cast<uint8_t>(n & 0xFF);
    std::memcpy(p, payload, n);
    p += n;
    const uint16_t crc = FrameCrc(payload, n);
    *p++ = static_cast<uint8_t>(crc >> 8);
    *p++ = static_cast<uint8_t>(crc & 0xFF);
    return static_cast<size_t>(p - out);
}

size_t ReplyLength(uint8_t command)
{
    if (command == 'A')
        return kBlockReply;
    if (command == 'G')
        return 0;
    return kStatusReply;
}

void AddressBytes(int32_t page, int32_t block, uint8_t out[2])
{
    // The page shifts with its sign; unsigned arithmetic for the second byte
    // keeps any block argument free of overflow and leaves the same low bits.
    out[0] = static_cast<uint8_t>((page >> 4) & 0x0F);
    const uint32_t low =
        (static_cast<uint32_t>(page & 0x0F) * 4u + static_cast<uint32_t>(block)) * 4u;
    out[1] = static_cast<uint8_t>(low & 0xFF);
}

ReplyVerdict JudgeReply(uint8_t command, const uint8_t *reply, size_t got)
{
    const size_t expected = ReplyLength(command);
    if (got != expected)
        return ReplyVerdict::Incomplete;
    if (expected == kStatusReply && !(reply[0] == 'O' && reply[1] == 'K'))
        return ReplyVerdict::Refused;
    return ReplyVerdict::Accepted;
}

}  // namespace korvex::link
