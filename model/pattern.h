// Pictures made from a few parameters instead of an image: a solid colour,
// a gradient, a rainbow, stripes, a comet for the moving effects, dots.
// MakePattern is a pure function; the pattern dialog's preview, its OK and
// `korvex-cli generate` all call it, so what the operator sees is what is
// stored, and the ranges below are the one judge of a description.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/library.h"

namespace korvex {

enum class PatternKind { Solid, Gradient, Rainbow, Stripes, Comet, Dots };
constexpr int kPatternKinds = 6;

// The kind's name as korvex-cli takes it: "solid", "gradient", "rainbow",
// "stripes", "comet", "dots".
const char *PatternKindName(PatternKind kind);
std::optional<PatternKind> PatternKindFromName(const std::string &name);

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
};

struct PatternDescription {
    PatternKind kind = PatternKind::Solid;
    std::vector<Rgb> colours;  // colour 1 first; full 8-bit channels
    int pixels = kColours;     // P: pixels 0..P-1 carry the pattern, the rest are black
    int repeat = 1;            // K: runs of a gradient, a rainbow or a comet
    int width = 16;            // a stripe's width, or the spacing of dots
    int length = 64;           // a comet's tail
    bool reverse = false;      // mirror pixels 0..P-1
    bool dither = false;       // spread the rounding error of smooth kinds
};

// The numbers a description holds, each with its range.
enum class PatternParam { Colours, Pixels, Repeat, Width, Length };
struct PatternRange {
    int lo, hi;
};
PatternRange RangeOf(PatternParam param);

struct PatternFault {
    PatternParam param;
    int value;  // for Colours, how many were given
    PatternRange range;
};
// The first number of `pattern` outside its range (the colours count only for
// a kind that uses colours); nothing when the description is sound.
std::optional<PatternFault> CheckPattern(const PatternDescription &pattern);

// What a kind uses: the dialog shows only those fields and korvex-cli
// warns about an option the kind ignores. Every kind uses Pixels.
bool PatternUses(PatternKind kind, PatternParam param);
// How many colours a kind takes at most: 0 (rainbow), 1 (solid, comet) or 8.
int PatternColourSlots(PatternKind kind);
// Whether dither changes the kind: the smooth ones (gradient, rainbow and
// a comet's tail). Solid, stripes and dots are already at the levels.
bool PatternDithers(PatternKind kind);

// The eight colours a description starts with, colour 1 first.
const std::vector<Rgb> &PatternPalette();
// A description of `kind` with its defaults: 2048 pixels, one run,
// stripes 16 wide, dots 8 apart, a 64-pixel tail, and the first colours of
// the palette (two for a gradient and stripes, one otherwise).
PatternDescription DefaultPattern(PatternKind kind);

// The level the controller shows for an 8-bit channel: the nearest of
// 0x00, 0x10, ..., 0xF0, a tie going up (0x08 gives 0x10); 0xF8 and
// above give 0xF0. The low four bits are always 0, as capture leaves them.
uint8_t ControllerLevel(int channel);

// The picture `pattern` describes, as 0x00BBGGRR library colours at the
// controller's levels; pixels from P on are black. A description that
// fails CheckPattern gives an all-black picture.
PictureColours MakePattern(const PatternDescription &pattern);

}  // namespace korvex
