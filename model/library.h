// The picture library and program table as the host holds them in memory
// and in the library file (little-endian, packed, 8212-byte picture records).
#pragma once

#include <array>
#include <cstdint>

namespace korvex {

constexpr int kMaxPictures = 121;
constexpr int kMaxProgram = 512;
constexpr int kColours = 2048;
constexpr int kNameField = 18;  // bytes of name storage in a record
constexpr int kNameTyped = 15;  // longest name the dialogs accept, in GBK bytes

#pragma pack(push, 1)
struct PictureRecord {
    uint32_t colours[kColours];  // 0x00BBGGRR
    uint8_t nameLength;          // 0..18
    char name[kNameField];       // GBK bytes; only the first nameLength count
    uint8_t reserved;
};

struct ProgramEntry {
    uint8_t picture;  // 0-based picture slot
    uint8_t effect;   // position in the effect list
    uint8_t value;    // speed or stay, 0..31
};
#pragma pack(pop)

static_assert(sizeof(PictureRecord) == 8212, "picture record layout");
static_assert(sizeof(ProgramEntry) == 3, "program entry layout");

using PictureTable = std::array<PictureRecord, kMaxPictures>;
using PictureColours = std::array<uint32_t, kColours>;  // one picture's row
using ProgramTable = std::array<ProgramEntry, kMaxProgram>;

}  // namespace korvex
