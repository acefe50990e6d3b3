// The pattern generator: exact colours of every kind at the pixels the
// rules pin down, the controller's levels, and what dither may change.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/pattern.h"

namespace korvex {
namespace {

constexpr Rgb kRed{0xFF, 0, 0}, kGreen{0, 0xFF, 0}, kBlue{0, 0, 0xFF};

// A library colour, 0x00BBGGRR.
constexpr uint32_t C(uint32_t r, uint32_t g, uint32_t b)
{
    return r | g << 8 | b << 16;
}

PatternDescription Described(PatternKind kind, std::vector<Rgb> colours, int pixels = 2048,
                             int repeat = 1)
{
    PatternDescription s = DefaultPattern(kind);
    s.colours = std::move(colours);
    s.pixels = pixels;
    s.repeat = repeat;
    return s;
}

PatternDescription With(PatternDescription s, int width, int length, bool reverse = false)
{
    s.width = width;
    s.length = length;
    s.reverse = reverse;
    return s;
}

TEST(MakePattern, PinnedPixels)
{
    struct Case {
        const char *what;
        PatternDescription pattern;
        std::vector<std::pair<int, uint32_t>> pixels;  // pixel -> colour
    };
    const auto gradient = Described(PatternKind::Gradient, {kRed, kBlue});
    const Case cases[] = {
        {"solid, P < 2048: black from P on",
         Described(PatternKind::Solid, {kGreen}, 100),
         {{0, C(0, 0xF0, 0)}, {99, C(0, 0xF0, 0)}, {100, 0}, {2047, 0}}},
        {"levels: nearest, a tie goes up, 0xF8 and above give 0xF0",
         Described(PatternKind::Solid, {{0x07, 0x08, 0x17}}),
         {{0, C(0x00, 0x10, 0x10)}}},
        {"levels at the top",
         Described(PatternKind::Solid, {{0xF7, 0xF8, 0xE7}}),
         {{5, C(0xF0, 0xF0, 0xE0)}}},
        {"gradient: both ends are the stops",
         gradient,
         {{0, C(0xF0, 0, 0)}, {1023, C(0x80, 0, 0x80)}, {2047, C(0, 0, 0xF0)}}},
        {"gradient: the middle stop at the middle pixel",
         Described(PatternKind::Gradient, {kRed, kGreen, kBlue}, 17),
         {{0, C(0xF0, 0, 0)}, {4, C(0x80, 0x80, 0)}, {8, C(0, 0xF0, 0)}, {16, C(0, 0, 0xF0)}}},
        {"gradient, 2 runs: each run ends on the last stop",
         Described(PatternKind::Gradient, {kRed, kBlue}, 2048, 2),
         {{1023, C(0, 0, 0xF0)}, {1024, C(0xF0, 0, 0)}}},
        {"gradient, reversed over P",
         With(Described(PatternKind::Gradient, {kRed, kBlue}, 100), 16, 64, true),
         {{0, C(0, 0, 0xF0)}, {99, C(0xF0, 0, 0)}, {100, 0}}},
        {"rainbow: red, then green and blue at the thirds",
         Described(PatternKind::Rainbow, {}, 300),
         {{0, C(0xF0, 0, 0)},
          {50, C(0xF0, 0xF0, 0)},
          {100, C(0, 0xF0, 0)},
          {200, C(0, 0, 0xF0)},
          {299, C(0xF0, 0, 0)}}},
        {"rainbow, 2 runs join without a seam",
         Described(PatternKind::Rainbow, {}, 600, 2),
         {{299, C(0xF0, 0, 0)}, {300, C(0xF0, 0, 0)}, {400, C(0, 0xF0, 0)}}},
        {"stripes: colour floor(k / W) mod n",
         With(Described(PatternKind::Stripes, {kRed, kGreen, kBlue}), 4, 64),
         {{3, C(0xF0, 0, 0)}, {4, C(0, 0xF0, 0)}, {8, C(0, 0, 0xF0)}, {12, C(0xF0, 0, 0)}}},
        {"stripes ignore the runs",
         Described(PatternKind::Stripes, {kRed, kBlue}, 2048, 3),
         {{15, C(0xF0, 0, 0)}, {16, C(0, 0, 0xF0)}, {688, C(0, 0, 0xF0)}}},
        {"dots: every W-th pixel, in turn",
         With(Described(PatternKind::Dots, {kRed, kBlue}), 8, 64),
         {{0, C(0xF0, 0, 0)}, {1, 0}, {7, 0}, {8, C(0, 0, 0xF0)}, {16, C(0xF0, 0, 0)}}},
        {"comet: head last, tail fading over L",
         With(Described(PatternKind::Comet, {kRed}, 16), 16, 4),
         {{15, C(0xF0, 0, 0)},
          {14, C(0xC0, 0, 0)},
          {13, C(0x80, 0, 0)},
          {12, C(0x40, 0, 0)},
          {11, 0},
          {0, 0}}},
        {"comet, 3 runs of 6, 5, 5",
         With(Described(PatternKind::Comet, {kRed}, 16, 3), 16, 1),
         {{5, C(0xF0, 0, 0)}, {6, 0}, {10, C(0xF0, 0, 0)}, {15, C(0xF0, 0, 0)}, {4, 0}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(CheckPattern(c.pattern));
        const PictureColours got = MakePattern(c.pattern);
        for (const auto &[pixel, colour] : c.pixels)
            EXPECT_EQ(got[size_t(pixel)], colour) << "pixel " << pixel;
        for (uint32_t colour : got)
            ASSERT_EQ(colour & 0x0F0F0F0Fu, 0u) << "a level has its low bits clear";
    }
}

// The longest stretch of equal neighbours among pixels 0..n-1.
int LongestFlat(const PictureColours &c, int n)
{
    int best = 1, run = 1;
    for (int k = 1; k < n; ++k) {
        run = c[size_t(k)] == c[size_t(k - 1)] ? run + 1 : 1;
        best = std::max(best, run);
    }
    return best;
}

TEST(MakePattern, DitherSmoothsSlowGradientsAndLeavesLevelledKindsAlone)
{
    // Black to 0x30 over 2048 pixels: three steps, so three flat bands.
    PatternDescription slow = Described(PatternKind::Gradient, {{0, 0, 0}, {0x30, 0x30, 0x30}});
    const PictureColours banded = MakePattern(slow);
    slow.dither = true;
    const PictureColours smooth = MakePattern(slow);
    EXPECT_GT(LongestFlat(banded, 2048), 600);
    EXPECT_LT(LongestFlat(smooth, 2048), 64);
    // Every 128 pixels are brighter on average than the 128 before.
    int previous = -1;
    for (int w = 0; w < 2048; w += 128) {
        int sum = 0;
        for (int k = w; k < w + 128; ++k)
            sum += int(smooth[size_t(k)] & 0xFF);
        EXPECT_GT(sum, previous) << "window at " << w;
        previous = sum;
    }

    for (PatternKind kind : {PatternKind::Solid, PatternKind::Stripes, PatternKind::Dots}) {
        SCOPED_TRACE(PatternKindName(kind));
        PatternDescription s =
            With(Described(kind, {{0x18, 0x77, 0xF9}, {0x08, 0x99, 0x33}}), 3, 64);
        const PictureColours plain = MakePattern(s);
        s.dither = true;
        EXPECT_EQ(MakePattern(s), plain);
    }
}

// Each number at both ends of its range passes, one past either end is
// named with its range, and MakePattern draws nothing for it.
TEST(CheckPattern, EachNumberHasItsRange)
{
    struct Case {
        PatternParam param;
        int lo, hi;
        void (*set)(PatternDescription &, int);
    };
    const Case cases[] = {
        {PatternParam::Colours, 1, 8,
         [](PatternDescription &s, int v) { s.colours.assign(size_t(v), kRed); }},
        {PatternParam::Pixels, 16, 2048, [](PatternDescription &s, int v) { s.pixels = v; }},
        {PatternParam::Repeat, 1, 64, [](PatternDescription &s, int v) { s.repeat = v; }},
        {PatternParam::Width, 1, 2048, [](PatternDescription &s, int v) { s.width = v; }},
        {PatternParam::Length, 1, 2048, [](PatternDescription &s, int v) { s.length = v; }},
    };
    for (const Case &c : cases) {
        for (int v : {c.lo, c.hi, c.lo - 1, c.hi + 1}) {
            SCOPED_TRACE(testing::Message() << int(c.param) << " = " << v);
            PatternDescription s = DefaultPattern(PatternKind::Gradient);
            c.set(s, v);
            const auto fault = CheckPattern(s);
            if (v == c.lo || v == c.hi) {
                EXPECT_FALSE(fault);
                continue;
            }
            ASSERT_TRUE(fault);
            EXPECT_EQ(fault->param, c.param);
            EXPECT_EQ(fault->value, v);
            EXPECT_EQ(fault->range.lo, c.lo);
            EXPECT_EQ(fault->range.hi, c.hi);
            EXPECT_EQ(MakePattern(s), PictureColours{});
        }
    }
    EXPECT_FALSE(CheckPattern(Described(PatternKind::Rainbow, {})));
}

}  // namespace
}  // namespace korvex
