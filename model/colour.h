// A library colour: 0x00BBGGRR, red in the low byte, each channel 8 bits.
// A controller shows only the upper four bits of each channel.
#pragma once

#include <cstdint>

namespace korvex {

constexpr uint32_t PackColour(unsigned red, unsigned green, unsigned blue)
{
    return (red & 0xFFu) | (green & 0xFFu) << 8 | (blue & 0xFFu) << 16;
}

constexpr unsigned ColourRed(uint32_t colour)
{
    return colour & 0xFFu;
}

constexpr unsigned ColourGreen(uint32_t colour)
{
    return colour >> 8 & 0xFFu;
}

constexpr unsigned ColourBlue(uint32_t colour)
{
    return colour >> 16 & 0xFFu;
}

// The bits of a colour a controller shows; capture keeps only these.
constexpr uint32_t kShownColourBits = 0xF0F0F0u;

// True when the colour carries bits a controller does not show.
constexpr bool HasHiddenBits(uint32_t colour)
{
    return (colour & ~kShownColourBits & 0xFFFFFFu) != 0;
}

}  // namespace korvex
