// The capture model without widgets: width field, display picture,
// centring, stretching and the sampling of row 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/capture.h"
#include "tests/support/capture_images.h"

namespace korvex {
namespace {

using test::NoiseImage;

uint32_t At(const QImage &img, int x, int y = 0)
{
    return CaptureColour(img.pixel(x, y));
}

CaptureColours SampleOf(const CaptureModel &m)
{
    CaptureColours c{};
    EXPECT_TRUE(m.Sample(c));
    return c;
}

// ---------------------------------------------------------------- colours

TEST(CaptureColourTest, ChannelOrderAndMask)
{
    EXPECT_EQ(CaptureColour(qRgb(0xFF, 0xFF, 0xFF)), 0x00F0F0F0u);
    EXPECT_EQ(CaptureColour(qRgb(0x0F, 0x0F, 0x0F)), 0u);
    // red in byte 0, green in byte 1, blue in byte 2
    EXPECT_EQ(CaptureColour(qRgb(0x12, 0x34, 0x56)), 0x00503010u);
    // alpha never reaches byte 3
    EXPECT_EQ(CaptureColour(qRgba(0xAB, 0xCD, 0xEF, 0x7F)), 0x00E0C0A0u);
}

TEST(CaptureColourTest, ScaledColumnRepeatsOrDropsWholeColumns)
{
    // 256 -> 64: every fourth column, from the first
    for (int t = 0; t < 64; ++t)
        EXPECT_EQ(ScaledColumn(t, 64, 256), t * 4);
    // 3 -> 7: each source column repeated, in order, none skipped
    std::vector<int> cols;
    for (int t = 0; t < 7; ++t)
        cols.push_back(ScaledColumn(t, 7, 3));
    EXPECT_EQ(cols, (std::vector<int>{0, 0, 0, 1, 1, 2, 2}));
    // never outside the source, even at the extremes
    EXPECT_EQ(ScaledColumn(2047, 2048, 65500), 2047 * 65500 / 2048);
    EXPECT_EQ(ScaledColumn(0, 0, 10), 0);
    EXPECT_EQ(ScaledColumn(5, 10, 0), 0);
}

// ------------------------------------------------------------- width field

TEST(CaptureWidthTest, StartsAt256)
{
    CaptureModel m;
    EXPECT_EQ(m.WidthField(), 256);
    EXPECT_EQ(m.PictRect().size(), QSize(461, 58));
    EXPECT_FALSE(m.Stretch());
}

TEST(CaptureWidthTest, ClampsAndRoundsUpToSixteen)
{
    CaptureModel m;
    m.SetWidthField(100);
    EXPECT_EQ(m.WidthField(), 112);
    m.SetWidthField(5);
    EXPECT_EQ(m.WidthField(), 16);  // 8, then rounded
    m.SetWidthField(99999);
    EXPECT_EQ(m.WidthField(), 2048);
    m.SetWidthField(2047);
    EXPECT_EQ(m.WidthField(), 2048);
    m.SetWidthField(-7);
    EXPECT_EQ(m.WidthField(), 16);
    EXPECT_EQ(m.PictRect().width(), 16);
}

TEST(CaptureWidthTest, ArrowsAtTheLimits)
{
    CaptureModel m;
    m.SetWidthField(16);
    m.StepWidthField(-1);  // 0 -> 8 -> 16
    EXPECT_EQ(m.WidthField(), 16);
    m.StepWidthField(-1);
    EXPECT_EQ(m.WidthField(), 16);
    m.SetWidthField(2048);
    m.StepWidthField(1);
    EXPECT_EQ(m.WidthField(), 2048);
    m.StepWidthField(-1);
    EXPECT_EQ(m.WidthField(), 2032);
    m.StepWidthField(1 << 30);  // no overflow on the way to the clamp
    EXPECT_EQ(m.WidthField(), 2048);
}

// ------------------------------------------------------------------ loads

TEST(CaptureLoadTest, Image100WideGets112ColumnsAndRepeats)
{
    const QImage img = NoiseImage(100, 9, 7);
    CaptureModel m;
    m.Load(img);
    EXPECT_EQ(m.WidthField(), 112);
    EXPECT_EQ(m.PictRect().size(), QSize(112, 9));
    EXPECT_EQ(m.DisplayWidth(), 112);
    EXPECT_EQ(m.DisplayPixel(105, 3), qRgb(0, 0, 0));
    EXPECT_EQ(m.SourceSize(), QSize(112, 9));

    const CaptureColours c = SampleOf(m);
    for (int i = 0; i < 2048; ++i) {
        const int col = i % 112;
        const uint32_t want = col < 100 ? At(img, col) : 0u;
        ASSERT_EQ(c[i], want) << "position " << i;
    }
    // 18 whole repeats fill 0..2015; 2016..2047 are the row's first 32
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(c[2016 + i], c[i]);
    EXPECT_EQ(c[1904 + 99], At(img, 99));  // last image column of repeat 18
    EXPECT_EQ(c[1904 + 100], 0u);          // first black column
}

TEST(CaptureLoadTest, WidenedDisplayIsNeverNarrowed)
{
    const QImage img = NoiseImage(100, 5, 3);
    CaptureModel m;
    m.Load(img);
    m.SetWidthField(256);
    m.SetWidthField(128);
    EXPECT_EQ(m.WidthField(), 128);
    EXPECT_EQ(m.PictRect().width(), 128);
    EXPECT_EQ(m.DisplayWidth(), 256);
    const CaptureColours c = SampleOf(m);
    for (int i = 0; i < 2048; ++i) {
        const int col = i % 256;
        ASSERT_EQ(c[i], col < 100 ? At(img, col) : 0u) << i;
    }
}

TEST(CaptureLoadTest, StretchAt64From256)
{
    const QImage img = NoiseImage(256, 4, 11);
    CaptureModel m;
    m.Load(img);
    EXPECT_EQ(m.WidthField(), 256);
    m.SetWidthField(64);
    m.SetStretch(true);
    EXPECT_EQ(m.SourceSize(), QSize(64, 4));
    const CaptureColours c = SampleOf(m);
    for (int i = 0; i < 2048; ++i)
        ASSERT_EQ(c[i], At(img, (i % 64) * 4)) << i;
    for (int r = 1; r < 32; ++r)
        EXPECT_TRUE(std::equal(c.begin(), c.begin() + 64, c.begin() + 64 * r));
}

TEST(CaptureLoadTest, StretchWidensNarrowImages)
{
    const QImage img = NoiseImage(10, 2, 5);
    CaptureModel m;
    m.Load(img);
    m.SetWidthField(160);
    m.SetStretch(true);
    const CaptureColours c = SampleOf(m);
    for (int i = 0; i < 2048; ++i)
        ASSERT_EQ(c[i], At(img, (i % 160) / 16)) << i;
}

TEST(CaptureLoadTest, Wider3000UsesFirst2048Columns)
{
    const QImage img = NoiseImage(3000, 3, 13);
    CaptureModel m;
    m.Load(img);
    EXPECT_EQ(m.WidthField(), 2048);
    EXPECT_EQ(m.PictRect().width(), 2048);
    EXPECT_EQ(m.DisplayWidth(), 3000);
    const CaptureColours c = SampleOf(m);
    for (int i = 0; i < 2048; ++i)
        ASSERT_EQ(c[i], At(img, i)) << i;

    // stretched at 2048: the whole width squeezed, first column first
    m.SetStretch(true);
    const CaptureColours s = SampleOf(m);
    EXPECT_EQ(s[0], At(img, 0));
    EXPECT_EQ(s[2047], At(img, 2047 * 3000 / 2048));
}

TEST(CaptureLoadTest, Exactly2048EachColourFromItsOwnColumn)
{
    const QImage img = NoiseImage(2048, 2, 17);
    CaptureModel m;
    m.Load(img);
    EXPECT_EQ(m.WidthField(), 2048);
    const CaptureColours c = SampleOf(m);
    for (int i = 0; i < 2048; ++i)
        ASSERT_EQ(c[i], At(img, i)) << i;
}

TEST(CaptureLoadTest, OnlyRowZeroMatters)
{
    QImage a = NoiseImage(300, 40, 1);
    QImage b = NoiseImage(300, 40, 2);
    std::memcpy(b.scanLine(0), a.constScanLine(0), 300 * 4);
    for (bool stretch : {false, true}) {
        CaptureColours ca{}, cb{};
        ASSERT_TRUE(CaptureImage(a, 96, stretch, ca));
        ASSERT_TRUE(CaptureImage(b, 96, stretch, cb));
        EXPECT_EQ(ca, cb);
    }
    // a one-row picture gives the same colours too
    CaptureColours one{}, full{};
    ASSERT_TRUE(CaptureImage(a.copy(0, 0, 300, 1), std::nullopt, false, one));
    ASSERT_TRUE(CaptureImage(a, std::nullopt, false, full));
    EXPECT_EQ(one, full);
}

TEST(CaptureLoadTest, ToggleStretchDropsAndRestoresBlackColumns)
{
    const QImage img = NoiseImage(100, 3, 9);
    CaptureModel m;
    m.Load(img);
    m.SetWidthField(256);
    m.SetWidthField(128);
    EXPECT_EQ(m.DisplayWidth(), 256);
    m.SetStretch(true);
    EXPECT_EQ(m.DisplayWidth(), 100);  // fresh copy, no black columns
    m.SetWidthField(64);
    EXPECT_EQ(m.DisplayWidth(), 100);  // no widening while stretching
    m.SetStretch(false);
    EXPECT_EQ(m.DisplayWidth(), 100);  // control is 64 wide: nothing to add
    m.SetWidthField(144);
    EXPECT_EQ(m.DisplayWidth(), 144);
    m.SetStretch(true);
    m.SetStretch(false);
    EXPECT_EQ(m.DisplayWidth(), 144);  // black columns again up to the control
}

TEST(CaptureLoadTest, NothingLoadedIsRefusedWithoutDividing)
{
    CaptureModel fresh;
    CaptureColours c{};
    c.fill(0xDEADBEEF);
    EXPECT_EQ(fresh.SourceSize(), QSize(0, 0));
    EXPECT_FALSE(fresh.Sample(c));
    EXPECT_EQ(c[0], 0xDEADBEEFu);  // untouched

    CaptureModel m;
    m.Load(NoiseImage(50, 5));
    m.Load(QImage());  // a file that gave nothing
    EXPECT_EQ(m.WidthField(), 16);
    EXPECT_EQ(m.PictRect().size(), QSize(16, 0));
    EXPECT_EQ(m.DisplayHeight(), 0);
    EXPECT_FALSE(m.Sample(c));
    m.SetStretch(true);
    EXPECT_FALSE(m.Sample(c));
    m.SetWidthField(512);
    EXPECT_FALSE(m.Sample(c));
    EXPECT_FALSE(CaptureImage(QImage(), 256, true, c));
    EXPECT_FALSE(CaptureImage(QImage(), std::nullopt, false, c));
    EXPECT_EQ(c[0], 0xDEADBEEFu);
}

TEST(CaptureLoadTest, ANewLoadReplacesEverything)
{
    CaptureModel m;
    m.Load(NoiseImage(100, 5, 1));
    m.SetWidthField(512);
    EXPECT_EQ(m.DisplayWidth(), 512);
    const QImage second = NoiseImage(40, 6, 2);
    m.Load(second);
    EXPECT_EQ(m.WidthField(), 48);
    EXPECT_EQ(m.DisplayWidth(), 48);
    const CaptureColours c = SampleOf(m);
    EXPECT_EQ(c[0], At(second, 0));
    EXPECT_EQ(c[48], At(second, 0));
    EXPECT_EQ(c[45], 0u);
}

TEST(CaptureLoadTest, WidthFieldAlreadyAtTheImageWidth)
{
    // No change event: the control still takes the image's width.
    CaptureModel m;
    m.SetWidthField(112);
    m.Load(NoiseImage(112, 3));
    EXPECT_EQ(m.WidthField(), 112);
    EXPECT_EQ(m.PictRect().width(), 112);
    EXPECT_EQ(m.DisplayWidth(), 112);
}

// ------------------------------------------------------------- placement

TEST(CapturePlacementTest, CentresInTheBox)
{
    CaptureModel m;
    m.SetBoxClientSize(QSize(473, 89));
    EXPECT_EQ(m.PictRect(), QRect(0, 0, 461, 58));  // as it opens
    m.Load(NoiseImage(100, 20));
    EXPECT_EQ(m.PictRect(), QRect((473 - 112) / 2, (89 - 20) / 2, 112, 20));
    m.Load(NoiseImage(600, 201));
    EXPECT_EQ(m.PictRect().left(), 0);
    EXPECT_EQ(m.PictRect().top(), (89 - 201) / 2);  // truncated toward zero: -56
    EXPECT_EQ(m.PictRect().top(), -56);
}

// ------------------------------------------------ what the control shows

TEST(CaptureRenderTest, ShownRowZeroIsTheSampledRow)
{
    const QImage img = NoiseImage(100, 7, 21);
    for (bool stretch : {false, true}) {
        CaptureModel m;
        m.Load(img);
        m.SetWidthField(stretch ? 336 : 160);
        m.SetStretch(stretch);
        const int w = m.PictRect().width();
        QPoint at;
        const QImage shown = m.RenderPict(QRect(0, 0, w, 1), &at);
        ASSERT_FALSE(shown.isNull());
        EXPECT_EQ(at, QPoint(0, 0));
        ASSERT_EQ(shown.width(), w);
        const CaptureColours c = SampleOf(m);
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(CaptureColour(shown.pixel(x, 0)), c[x])
                << "stretch " << stretch << " x " << x;
    }
}

TEST(CaptureRenderTest, ClipsToControlAndPicture)
{
    CaptureModel m;
    QPoint at;
    EXPECT_TRUE(m.RenderPict(QRect(0, 0, 500, 500), &at).isNull());  // nothing loaded
    m.Load(NoiseImage(30, 10));
    const QImage part = m.RenderPict(QRect(20, 5, 100, 100), &at);
    EXPECT_EQ(at, QPoint(20, 5));
    EXPECT_EQ(part.size(), QSize(32 - 20, 5));
    EXPECT_EQ(part.pixel(11, 0), qRgb(0, 0, 0));  // a black column
}

}  // namespace
}  // namespace korvex
