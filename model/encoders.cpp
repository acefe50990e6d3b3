// Transfer encodings: pixel words, picture blocks, name tables and the
// program block, each one 1 KiB block as the controller stores it.
#include "model/encoders.h"

#include <algorithm>
#include <cstring>

namespace korvex {

namespace {

constexpr int kSlotSize = 16;
constexpr int kSlotsTable0 = 64;
constexpr int kSlotsTable1 = 56;  // records 64..119; record 120 has no slot

// The 3-bit plane value of channel bit p: red in bit 0, green in bit 1,
// blue in bit 2.
unsigned Plane(uint32_t colour, int p)
{
    const unsigned r = (colour >> p) & 1u;
    const unsigned g = (colour >> (8 + p)) & 1u;
    const unsigned b = (colour >> (16 + p)) & 1u;
    return r | (g << 1) | (b << 2);
}

}  // namespace

uint16_t PixelWord(uint32_t colour)
{
    const unsigned low = Plane(colour, 7) * 16 + Plane(colour, 6);
    const unsigned high = Plane(colour, 5) * 16 + Plane(colour, 4);
    return static_cast<uint16_t>(low | (high << 8));
}

Block1K EncodePictureBlock(const PictureRecord &picture, int block)
{
    Block1K out{};
    if (block < 0 || block > 3)
        return out;
    const int first = 512 * block;
    for (int k = 0; k < 512; ++k) {
        const uint16_t w = PixelWord(picture.colours[first + k]);
        out[2 * k] = static_cast<uint8_t>(w & 0xFF);
        out[2 * k + 1] = static_cast<uint8_t>(w >> 8);
    }
    return out;
}

Block1K EncodeNameTable(const PictureTable &pictures, int table)
{
    Block1K out{};
    const int firstRecord = table == 0 ? 0 : kSlotsTable0;
    const int slots = table == 0 ? kSlotsTable0 : (table == 1 ? kSlotsTable1 : 0);
    for (int s = 0; s < slots; ++s) {
        const PictureRecord &rec = pictures[firstRecord + s];
        uint8_t *slot = out.data() + kSlotSize * s;
        // The first 16 bytes of the name field as stored; the field is 18
        // bytes long, so this never reads past it.
        std::memcpy(slot, rec.name, kSlotSize);
        if (rec.nameLength < kSlotSize)
            slot[rec.nameLength] = 0;
    }
    return out;
}

Block1K EncodeProgramBlock(const ProgramTable &program, int count)
{
    Block1K out{};
    const int n = std::clamp(count, 0, kMaxProgram);
    for (int e = 0; e < n; ++e) {
        const ProgramEntry &entry = program[e];
        out[2 * e] = entry.picture;
        out[2 * e + 1] = static_cast<uint8_t>((entry.effect & 7) * 32 + (entry.value & 31));
    }
    return out;
}

}  // namespace korvex
