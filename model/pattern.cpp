// The pattern generator: the six kinds, the runs they repeat in, the
// controller's levels and the dither that hides them.
#include "model/pattern.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "model/colour.h"

namespace korvex {

namespace {

constexpr int kTopLevel = 0xF0;

struct KindInfo {
    PatternKind kind;
    const char *name;
    int colourSlots;
    bool repeats;  // uses the runs of K
    bool dithers;
};

constexpr KindInfo kKinds[kPatternKinds] = {
    {PatternKind::Solid, "solid", 1, false, false},
    {PatternKind::Gradient, "gradient", 8, true, true},
    {PatternKind::Rainbow, "rainbow", 0, true, true},
    {PatternKind::Stripes, "stripes", 8, false, false},
    {PatternKind::Comet, "comet", 1, true, true},
    {PatternKind::Dots, "dots", 8, false, false},
};

const KindInfo &Info(PatternKind kind)
{
    return kKinds[static_cast<int>(kind)];
}

// A pixel before it is put at the controller's levels: each channel
// 0..255, exact where the rules give a whole number.
using Ideal = std::array<double, 3>;

Ideal Of(const Rgb &c)
{
    return {double(c.r), double(c.g), double(c.b)};
}

// `num` / `den` of each channel of `a` * (den - part) + `b` * part: the
// numerator is a whole number, so a value that is a whole number (a tie
// between two levels included) comes out exactly.
Ideal Mix(const Rgb &a, const Rgb &b, int part, int den)
{
    auto one = [&](int x, int y) { return double(x * (den - part) + y * part) / double(den); };
    return {one(a.r, b.r), one(a.g, b.g), one(a.b, b.b)};
}

// Hue 360° * j / r at full saturation and value.
Ideal Hue(int j, int r)
{
    const int sector = 6 * j / r;
    const int rem = 6 * j % r;
    const double up = double(255 * rem) / double(r);
    const double down = double(255 * (r - rem)) / double(r);
    switch (sector) {
    case 0: return {255, up, 0};
    case 1: return {down, 255, 0};
    case 2: return {0, 255, up};
    case 3: return {0, down, 255};
    case 4: return {up, 0, 255};
    default: return {255, 0, down};
    }
}

Ideal Gradient(const std::vector<Rgb> &stops, int j, int r)
{
    const int n = static_cast<int>(stops.size());
    if (r == 1 || n == 1)
        return Of(stops[0]);
    // Pixel j lies at t * (n - 1) = j * (n - 1) / (r - 1) along the stops.
    const int num = j * (n - 1);
    const int den = r - 1;
    const int i = num / den;
    if (i >= n - 1)
        return Of(stops[static_cast<size_t>(n - 1)]);
    return Mix(stops[static_cast<size_t>(i)], stops[static_cast<size_t>(i + 1)], num % den, den);
}

Ideal Comet(const Rgb &head, int j, int r, int length)
{
    const int behind = r - 1 - j;
    if (behind >= length)
        return {0, 0, 0};
    return Mix(Rgb{}, head, length - behind, length);
}

double LevelOf(double v)
{
    v = std::clamp(v, 0.0, 255.0);
    return std::min<double>(kTopLevel, std::floor((v + 8.0) / 16.0) * 16.0);
}

uint32_t Pack(double r, double g, double b)
{
    return PackColour(unsigned(r), unsigned(g), unsigned(b));
}

}  // namespace

const char *PatternKindName(PatternKind kind)
{
    return Info(kind).name;
}

std::optional<PatternKind> PatternKindFromName(const std::string &name)
{
    for (const KindInfo &k : kKinds) {
        if (name == k.name)
            return k.kind;
    }
    return std::nullopt;
}

PatternRange RangeOf(PatternParam param)
{
    switch (param) {
    case PatternParam::Colours: return {1, 8};
    case PatternParam::Pixels: return {16, kColours};
    case PatternParam::Repeat: return {1, 64};
    case PatternParam::Width: return {1, kColours};
    case PatternParam::Length: return {1, kColours};
    }
    return {0, 0};
}

bool PatternUses(PatternKind kind, PatternParam param)
{
    switch (param) {
    case PatternParam::Colours: return Info(kind).colourSlots > 0;
    case PatternParam::Pixels: return true;
    case PatternParam::Repeat: return Info(kind).repeats;
    case PatternParam::Width: return kind == PatternKind::Stripes || kind == PatternKind::Dots;
    case PatternParam::Length: return kind == PatternKind::Comet;
    }
    return false;
}

int PatternColourSlots(PatternKind kind)
{
    return Info(kind).colourSlots;
}

bool PatternDithers(PatternKind kind)
{
    return Info(kind).dithers;
}

std::optional<PatternFault> CheckPattern(const PatternDescription &pattern)
{
    const std::pair<PatternParam, int> numbers[] = {
        {PatternParam::Colours, static_cast<int>(pattern.colours.size())},
        {PatternParam::Pixels, pattern.pixels},
        {PatternParam::Repeat, pattern.repeat},
        {PatternParam::Width, pattern.width},
        {PatternParam::Length, pattern.length},
    };
    for (const auto &[param, value] : numbers) {
        if (param == PatternParam::Colours && !PatternUses(pattern.kind, param))
            continue;
        const PatternRange range = RangeOf(param);
        if (value < range.lo || value > range.hi)
            return PatternFault{param, value, range};
    }
    return std::nullopt;
}

const std::vector<Rgb> &PatternPalette()
{
    static const std::vector<Rgb> palette = {
        {0xFF, 0x00, 0x00}, {0x00, 0x00, 0xFF}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
        {0x00, 0xFF, 0xFF}, {0xFF, 0x00, 0xFF}, {0xFF, 0xFF, 0xFF}, {0xFF, 0x80, 0x00},
    };
    return palette;
}

PatternDescription DefaultPattern(PatternKind kind)
{
    PatternDescription pattern;
    pattern.kind = kind;
    const int n = kind == PatternKind::Gradient || kind == PatternKind::Stripes ? 2 : 1;
    pattern.colours.assign(PatternPalette().begin(), PatternPalette().begin() + n);
    pattern.width = kind == PatternKind::Dots ? 8 : 16;
    return pattern;
}

uint8_t ControllerLevel(int channel)
{
    return static_cast<uint8_t>(LevelOf(channel));
}

PictureColours MakePattern(const PatternDescription &pattern)
{
    PictureColours out{};
    if (CheckPattern(pattern))
        return out;

    const int p = pattern.pixels;
    const int n = static_cast<int>(pattern.colours.size());
    const bool dither = pattern.dither && PatternDithers(pattern.kind);
    std::array<double, 3> carried{};  // the dither's rounding error, per channel

    // The P pixels as K runs; the first P mod K runs are a pixel longer.
    int k = 0;
    for (int run = 0; run < pattern.repeat; ++run) {
        const int r = p / pattern.repeat + (run < p % pattern.repeat ? 1 : 0);
        for (int j = 0; j < r; ++j, ++k) {
            Ideal v{};
            switch (pattern.kind) {
            case PatternKind::Solid: v = Of(pattern.colours[0]); break;
            case PatternKind::Gradient: v = Gradient(pattern.colours, j, r); break;
            case PatternKind::Rainbow: v = Hue(j, r); break;
            case PatternKind::Stripes:
                v = Of(pattern.colours[size_t(k / pattern.width % n)]);
                break;
            case PatternKind::Comet: v = Comet(pattern.colours[0], j, r, pattern.length); break;
            case PatternKind::Dots:
                if (k % pattern.width == 0)
                    v = Of(pattern.colours[size_t(k / pattern.width % n)]);
                break;
            }
            Ideal q{};
            for (int c = 0; c < 3; ++c) {
                if (!dither) {
                    q[c] = LevelOf(v[c]);
                    continue;
                }
                // The shown range ends at the top level, so the error
                // carried stays within half a step.
                const double wanted = std::min<double>(v[c], kTopLevel) + carried[c];
                q[c] = LevelOf(wanted);
                carried[c] = wanted - q[c];
            }
            out[size_t(k)] = Pack(q[0], q[1], q[2]);
        }
    }
    if (pattern.reverse)
        std::reverse(out.begin(), out.begin() + p);
    return out;
}

}  // namespace korvex
