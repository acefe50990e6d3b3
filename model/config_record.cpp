// The configuration record: host-order conversion of its five 16-bit
// fields, derived values, and the read and write exchanges.
#include "model/config_record.h"

#include <cstring>

#include "link/korvex_api.h"
#include "model/memory_map.h"

namespace korvex {

namespace {

// Exchanges the two bytes of every 16-bit field in place. The same
// operation converts controller order to host order and back.
void SwapWordFields(ConfigRecord &r)
{
    for (int offset : kWordFields) {
        const uint8_t b = r[offset];
        r[offset] = r[offset + 1];
        r[offset + 1] = b;
    }
}

}  // namespace

uint16_t ByteSwap16(uint16_t v)
{
    return static_cast<uint16_t>((v >> 8) | (v << 8));
}

// The host copy keeps its words in host byte order; on every platform the
// program is built for that is little-endian, which is also the order the
// byte swap of a big-endian controller word produces.
uint16_t GetWord(const ConfigRecord &r, int offset)
{
    return static_cast<uint16_t>(r[offset] | (r[offset + 1] << 8));
}

void SetWord(ConfigRecord &r, int offset, uint16_t value)
{
    r[offset] = static_cast<uint8_t>(value & 0xFF);
    r[offset + 1] = static_cast<uint8_t>(value >> 8);
}

bool HasSignature(const ConfigRecord &r)
{
    return r[0] == 'V' && r[1] == 'e' && r[2] == 'r';
}

uint8_t VersionNumber(const ConfigRecord &r)
{
    const uint8_t major = static_cast<uint8_t>(r[cfg::kVersionMajor] - 48);
    const uint8_t minor = static_cast<uint8_t>(r[cfg::kVersionMinor] - 48);
    return static_cast<uint8_t>(static_cast<uint8_t>(major * 10) + minor);
}

ConfigRecord BlankRecord()
{
    ConfigRecord r{};
    r[0] = 'V';
    r[1] = 'e';
    r[2] = 'r';
    return r;
}

ConfigRecord RecordFromBlock(const uint8_t *block)
{
    ConfigRecord read;
    std::memcpy(read.data(), block + kRecordOffset, read.size());
    SwapWordFields(read);
    return read;
}

bool ReadConfigRecord(ConfigRecord &record)
{
    uint8_t block[1024];
    if (Read1KData(kRecordAddress.page, kRecordAddress.block, block) == 0)
        return false;
    record = RecordFromBlock(block);
    return true;
}

ConfigRecord RecordAsWritten(const ConfigRecord &record)
{
    ConfigRecord out = record;
    SwapWordFields(out);
    out[cfg::kVersionMajor] = '1';
    out[cfg::kVersionSep] = '.';
    out[cfg::kVersionMinor] = '0';
    return out;
}

bool WriteConfigRecord(const ConfigRecord &record)
{
    const ConfigRecord out = RecordAsWritten(record);
    return WriteSpecial(out.data()) != 0;
}

}  // namespace korvex
