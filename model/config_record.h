// The controller's 256-byte configuration record (page 127, block 3,
// bytes 512..767) and the host copy of it.
//
// In the controller the five 16-bit fields (8, 10, 12, 14, 19) are
// big-endian; in the host copy they hold numbers in host byte order. Every
// other byte is carried through exactly as read.
#pragma once

#include <array>
#include <cstdint>

namespace korvex {

using ConfigRecord = std::array<uint8_t, 256>;

namespace cfg {
constexpr int kSignature = 0;     // "Ver"
constexpr int kVersionMajor = 3;  // digit
constexpr int kVersionSep = 4;
constexpr int kVersionMinor = 5;   // digit
constexpr int kFlags = 7;          // bit 0 data inversion, bit 1 OE inversion
constexpr int kPixelCount = 8;     // 16-bit
constexpr int kPictureCount = 16;  // 8-bit
constexpr int kColourOrder = 18;   // 8-bit index 0..5
constexpr int kProgramCount = 19;  // 16-bit, at an odd offset
}  // namespace cfg

// The five 16-bit fields that are swapped between controller and host order.
constexpr std::array<int, 5> kWordFields = {8, 10, 12, 14, 19};

uint16_t ByteSwap16(uint16_t v);

// Host-order access to a 16-bit field of the host copy (no alignment needed).
uint16_t GetWord(const ConfigRecord &r, int offset);
void SetWord(ConfigRecord &r, int offset, uint16_t value);

// The flag byte: bit 0 data inversion, bit 1 blanking (OE) inversion.
inline bool DataInverted(const ConfigRecord &r)
{
    return (r[cfg::kFlags] & 1) != 0;
}
inline bool OeInverted(const ConfigRecord &r)
{
    return (r[cfg::kFlags] & 2) != 0;
}
inline uint8_t FlagByte(bool dataInverted, bool oeInverted)
{
    return static_cast<uint8_t>((oeInverted ? 2 : 0) + (dataInverted ? 1 : 0));
}

// What the display settings may hold.
constexpr int kPixelCountMin = 16;
constexpr int kPixelCountMax = 2048;
constexpr int kColourOrders = 6;  // 0 RGB, 1 RBG, 2 GRB, 3 GBR, 4 BRG, 5 BGR

bool HasSignature(const ConfigRecord &r);
// (byte 3 - 48) * 10 + (byte 5 - 48) in wrapping 8-bit arithmetic.
uint8_t VersionNumber(const ConfigRecord &r);
// All zero with "Ver" in bytes 0..2.
ConfigRecord BlankRecord();

// The record in bytes 512..767 of the 1 KiB block `block` (page 127
// block 3, as read), converted to host order.
ConfigRecord RecordFromBlock(const uint8_t *block);

// Needs an open port. Reads page 127 block 3 and converts; false leaves
// `record` untouched.
bool ReadConfigRecord(ConfigRecord &record);
// The bytes a write of `record` puts in the controller: a converted copy
// stamped "1.0" in bytes 3..5.
ConfigRecord RecordAsWritten(const ConfigRecord &record);
// Needs an open port. Sends RecordAsWritten(record) with WriteSpecial;
// `record` is never modified.
bool WriteConfigRecord(const ConfigRecord &record);

}  // namespace korvex
