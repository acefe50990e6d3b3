// Transfer encodings: pixel words, picture blocks, name tables and the
// program block, each one 1 KiB block as the controller stores it, and
// their inverses.
#include "model/encoders.h"

#include <algorithm>
#include <cstring>

#include "model/memory_map.h"

namespace korvex {

namespace {

// The 3-bit plane value of channel bit p: red in bit 0, green in bit 1,
// blue in bit 2.
unsigned Plane(uint32_t colour, int p)
{
    const unsigned r = (colour >> p) & 1u;
    const unsigned g = (colour >> (8 + p)) & 1u;
    const unsigned b = (colour >> (16 + p)) & 1u;
    return r | (g << 1) | (b << 2);
}

// Channel bit p of every channel from the 3-bit plane value.
uint32_t Unplane(unsigned plane, int p)
{
    return ((plane & 1u) << p) | (((plane >> 1) & 1u) << (8 + p)) |
           (((plane >> 2) & 1u) << (16 + p));
}

// The word's nibble that holds the plane of channel bit p.
constexpr int kNibbleOfBit[8] = {0, 0, 0, 0, 2, 3, 0, 1};

}  // namespace

uint16_t PixelWord(uint32_t colour)
{
    const unsigned low = Plane(colour, 7) * 16 + Plane(colour, 6);
    const unsigned high = Plane(colour, 5) * 16 + Plane(colour, 4);
    return static_cast<uint16_t>(low | (high << 8));
}

uint32_t ColourOfWord(uint16_t word)
{
    uint32_t colour = 0;
    for (int p = 4; p < 8; ++p)
        colour |= Unplane((word >> (4 * kNibbleOfBit[p])) & 7u, p);
    return colour;
}

Block1K EncodePictureBlock(const PictureRecord &picture, int block)
{
    Block1K out{};
    if (block < 0 || block > 3)
        return out;
    const int first = kPixelsPerBlock * block;
    for (int k = 0; k < kPixelsPerBlock; ++k) {
        const uint16_t w = PixelWord(picture.colours[first + k]);
        out[2 * k] = static_cast<uint8_t>(w & 0xFF);
        out[2 * k + 1] = static_cast<uint8_t>(w >> 8);
    }
    return out;
}

void DecodePictureBlock(const Block1K &data, int block, PictureColours &colours)
{
    if (block < 0 || block > 3)
        return;
    for (int k = 0; k < kPixelsPerBlock; ++k)
        colours[static_cast<size_t>(kPixelsPerBlock * block + k)] = ColourOfWord(WordAt(data, k));
}

int SpareWordCount(const Block1K &data)
{
    int words = 0;
    for (int k = 0; k < kPixelsPerBlock; ++k)
        words += (WordAt(data, k) & kSpareWordBits) != 0;
    return words;
}

Block1K EncodeNameTable(const PictureTable &pictures, int table)
{
    Block1K out{};
    if (table != 0 && table != 1)
        return out;
    const int firstRecord = FirstPictureOfTable(table);
    for (int s = 0; s < kNameSlots[table]; ++s) {
        const PictureRecord &rec = pictures[firstRecord + s];
        uint8_t *slot = out.data() + kNameSlotSize * s;
        // The first 16 bytes of the name field as stored; the field is 18
        // bytes long, so this never reads past it.
        std::memcpy(slot, rec.name, kNameSlotSize);
        if (rec.nameLength < kNameSlotSize)
            slot[rec.nameLength] = 0;
    }
    return out;
}

std::vector<std::string> DecodeNameTable(const Block1K &data, int table)
{
    std::vector<std::string> names;
    if (table != 0 && table != 1)
        return names;
    for (int s = 0; s < kNameSlots[table]; ++s) {
        const char *slot = reinterpret_cast<const char *>(data.data()) + kNameSlotSize * s;
        names.emplace_back(slot, strnlen(slot, kNameSlotSize));
    }
    return names;
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

void DecodeProgramBlock(const Block1K &data, int count, ProgramTable &program)
{
    const int n = std::clamp(count, 0, kMaxProgram);
    for (int e = 0; e < n; ++e) {
        ProgramEntry &entry = program[static_cast<size_t>(e)];
        entry.picture = data[2 * e];
        entry.effect = static_cast<uint8_t>(data[2 * e + 1] >> 5);
        entry.value = static_cast<uint8_t>(data[2 * e + 1] & 31);
    }
}

}  // namespace korvex
