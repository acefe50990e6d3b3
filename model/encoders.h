// Transfer encodings of what the host sends into controller memory:
// pixel words, picture blocks, name tables and the program block.
#pragma once

#include <array>
#include <cstdint>

#include "model/library.h"

namespace korvex {

using Block1K = std::array<uint8_t, 1024>;

// Bit-plane pixel word of a 0x00BBGGRR colour (upper four bits per channel).
uint16_t PixelWord(uint32_t colour);
// Pixel words of colours 512*b .. 512*b+511, little-endian.
Block1K EncodePictureBlock(const PictureRecord &picture, int block);
// Name table t (0: records 0..63, 1: records 64..119 in slots 0..55).
Block1K EncodeNameTable(const PictureTable &pictures, int table);
// Two bytes per entry for entries 0..count-1, zero after.
Block1K EncodeProgramBlock(const ProgramTable &program, int count);

}  // namespace korvex
