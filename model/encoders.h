// Transfer encodings of what the host sends into controller memory:
// pixel words, picture blocks, name tables and the program block, each
// with its decoder beside it for what is read back.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/library.h"

namespace korvex {

using Block1K = std::array<uint8_t, 1024>;

// Word bits 3, 7, 11 and 15: no colour bit maps to them, so the host
// never sets them.
constexpr uint16_t kSpareWordBits = 0x8888;

// Bit-plane pixel word of a 0x00BBGGRR colour (upper four bits per channel).
uint16_t PixelWord(uint32_t colour);
// The colour a pixel word stands for: 0x00BBGGRR with the low four bits of
// each channel 0. The spare bits play no part; test them with
// kSpareWordBits.
uint32_t ColourOfWord(uint16_t word);

// Pixel words of colours 512*b .. 512*b+511, little-endian.
Block1K EncodePictureBlock(const PictureRecord &picture, int block);
// Puts the colours of picture block `block` (0..3) into colours
// 512*block .. 512*block+511.
void DecodePictureBlock(const Block1K &data, int block, PictureColours &colours);
// Pixel k of the block (0..511) as its 16-bit word.
inline uint16_t WordAt(const Block1K &data, int k)
{
    return static_cast<uint16_t>(data[2 * k] | (data[2 * k + 1] << 8));
}
// How many of a picture block's 512 words have a spare bit set.
int SpareWordCount(const Block1K &data);

// Name table t (0: records 0..63, 1: records 64..119 in slots 0..55).
Block1K EncodeNameTable(const PictureTable &pictures, int table);
// The names a name table carries, one per slot of table t (64 or 56): the
// bytes of the slot before its first 0, at most 16.
std::vector<std::string> DecodeNameTable(const Block1K &data, int table);

// Two bytes per entry for entries 0..count-1, zero after.
Block1K EncodeProgramBlock(const ProgramTable &program, int count);
// Entries 0..count-1 (count cut to 0..512) of a program block: picture
// index, effect (the top three bits) and value (the low five bits).
void DecodeProgramBlock(const Block1K &data, int count, ProgramTable &program);

}  // namespace korvex
