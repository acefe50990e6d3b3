// Image loading: JPEG decoding against djpeg, BMP through QImage, and the
// damaged, cut-off and hostile files an operator may pick.
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cstring>
#include <sys/resource.h>

#include "app/capture.h"
#include "app/image_load.h"
#include "tests/support/capture_images.h"

namespace korvex {
namespace {

using namespace korvex::test;

class ImageLoadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString Path(const QString &name) const { return dir_.filePath(name); }

    // Writes a JPEG and returns djpeg's decode of it (null and a skip when
    // djpeg is not installed).
    QImage JpegAndReference(const QString &name, const QImage &img, const JpegOptions &opt)
    {
        EXPECT_TRUE(WriteJpeg(Path(name), img, opt));
        return DjpegDecode(Path(name), Path(name + QStringLiteral(".ppm")));
    }

    QTemporaryDir dir_;
};

long MaxRssKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void ExpectSameRows(const QImage &got, const QImage &want, int rows)
{
    ASSERT_EQ(got.width(), want.width());
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < got.width(); ++x)
            ASSERT_EQ(got.pixel(x, y) | 0xff000000u, want.pixel(x, y)) << "x " << x << " y " << y;
}

// ------------------------------------------------------- against djpeg

TEST_F(ImageLoadTest, JpegDecodesAsDjpegDoes)
{
    if (!HaveDjpeg())
        GTEST_SKIP() << "djpeg is not installed (package libjpeg-turbo-progs)";
    struct Case {
        const char *name;
        QImage img;
        JpegOptions opt;
    };
    JpegOptions progressive;
    progressive.progressive = true;
    JpegOptions full;
    full.fullChroma = true;
    full.quality = 95;
    JpegOptions fullProgressive = full;
    fullProgressive.progressive = true;
    JpegOptions grey;
    grey.grey = true;
    const Case cases[] = {
        {"baseline.jpg", GradientImage(333, 77), {}},
        {"progressive.jpg", GradientImage(333, 77), progressive},
        {"full.jpg", NoiseImage(130, 21, 4), full},
        {"fullprog.jpg", NoiseImage(130, 21, 5), fullProgressive},
        {"grey.jpg", GradientImage(64, 9), grey},
        {"wide.jpg", GradientImage(2600, 17), progressive},
        {"tiny.jpg", NoiseImage(1, 1, 3), {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QImage ref = JpegAndReference(QString::fromLatin1(c.name), c.img, c.opt);
        ASSERT_FALSE(ref.isNull());
        const LoadedImage got = LoadImageFile(Path(QString::fromLatin1(c.name)));
        ASSERT_EQ(got.status, LoadStatus::Ok);
        EXPECT_TRUE(got.notice.isEmpty());
        ASSERT_EQ(got.image.format(), QImage::Format_RGB32);
        ASSERT_EQ(got.image.size(), c.img.size());
        ExpectSameRows(got.image, ref, ref.height());

        // and the colours follow from djpeg's top row
        CaptureColours colours{};
        ASSERT_TRUE(CaptureImage(got.image, std::nullopt, false, colours));
        const int w = std::min(ref.width(), 2048);
        const int period = std::max(16, (w + 15) / 16 * 16);
        for (int i = 0; i < 2048; ++i) {
            const int col = ref.width() > 2048 ? i : i % period;
            const uint32_t want = col < ref.width() ? CaptureColour(ref.pixel(col, 0)) : 0u;
            ASSERT_EQ(colours[i], want) << i;
        }
    }
}

TEST_F(ImageLoadTest, ExtensionDecidesAndIgnoresCase)
{
    ASSERT_TRUE(WriteJpeg(Path(QStringLiteral("UP.JPG")), GradientImage(20, 4)));
    ASSERT_TRUE(WriteJpeg(Path(QStringLiteral("b.JpEg")), GradientImage(20, 4)));
    ASSERT_TRUE(GradientImage(8, 8).save(Path(QStringLiteral("c.PnG")), "PNG"));
    EXPECT_EQ(LoadImageFile(Path(QStringLiteral("UP.JPG"))).status, LoadStatus::Ok);
    EXPECT_EQ(LoadImageFile(Path(QStringLiteral("b.JpEg"))).status, LoadStatus::Ok);
    EXPECT_EQ(LoadImageFile(Path(QStringLiteral("c.PnG"))).status, LoadStatus::Ok);

    // Content does not decide: a JPEG named .png, a PNG named .bmp.
    ASSERT_TRUE(QFile::copy(Path(QStringLiteral("UP.JPG")), Path(QStringLiteral("x.png"))));
    ASSERT_TRUE(GradientImage(8, 8).save(Path(QStringLiteral("png.bmp")), "PNG"));
    for (const char *name : {"x.png", "png.bmp", "missing.jpg", "missing.bmp", "noext"}) {
        const LoadedImage r = LoadImageFile(Path(QString::fromLatin1(name)));
        EXPECT_EQ(r.status, LoadStatus::NotRead) << name;
        EXPECT_TRUE(r.image.isNull()) << name;
        EXPECT_TRUE(r.notice.isEmpty()) << name;
    }
    // a folder with a picture's name is not a file
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("folder.jpg")));
    EXPECT_EQ(LoadImageFile(Path(QStringLiteral("folder.jpg"))).status, LoadStatus::NotRead);

    EXPECT_EQ(LowerExtension(QStringLiteral("/a.b/c")), QString());
    EXPECT_EQ(LowerExtension(QStringLiteral("/x/y.tar.BMP")), QStringLiteral(".bmp"));
}

TEST_F(ImageLoadTest, BmpKeepsEveryPixel)
{
    const QImage img = NoiseImage(101, 13, 8);
    ASSERT_TRUE(img.save(Path(QStringLiteral("p24.bmp")), "BMP"));
    LoadedImage r = LoadImageFile(Path(QStringLiteral("p24.bmp")));
    ASSERT_EQ(r.status, LoadStatus::Ok);
    ASSERT_EQ(r.image.format(), QImage::Format_RGB32);
    ExpectSameRows(r.image, img, img.height());

    // a palette picture comes out as its colours
    QImage indexed = img.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    // The conversion leaves each row's padding unset, and the BMP writer
    // writes it: set, so that a memory checker sees only the loader.
    for (int y = 0; y < indexed.height(); ++y)
        std::memset(indexed.scanLine(y) + indexed.width(), 0,
                    static_cast<size_t>(indexed.bytesPerLine() - indexed.width()));
    ASSERT_TRUE(indexed.save(Path(QStringLiteral("p8.bmp")), "BMP"));
    r = LoadImageFile(Path(QStringLiteral("p8.bmp")));
    ASSERT_EQ(r.status, LoadStatus::Ok);
    ExpectSameRows(r.image, indexed.convertToFormat(QImage::Format_RGB32), img.height());
}

// Qt's PNG reader for every colour type and depth: the pixels as stored,
// alpha dropped (not blended) as for a BMP, 16-bit channels cut back to the 8 bits they
// were made from; and a file cut short or with a damaged chunk gives nothing.
TEST_F(ImageLoadTest, PngDecodesAsStoredOrNotAtAll)
{
    const QImage img = NoiseImage(37, 5, 12);
    QImage alpha = img.convertToFormat(QImage::Format_ARGB32);
    alpha.setPixel(0, 0, qRgba(0xF0, 0x80, 0x10, 0));
    for (const QImage &kind : {img.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither),
                               alpha, img.convertToFormat(QImage::Format_RGBX64)}) {
        ASSERT_TRUE(kind.save(Path(QStringLiteral("k.png")), "PNG"));
        const LoadedImage r = LoadImageFile(Path(QStringLiteral("k.png")));
        ASSERT_EQ(r.status, LoadStatus::Ok);
        ExpectSameRows(r.image, kind.convertToFormat(QImage::Format_RGB32), img.height());
    }
    ASSERT_TRUE(img.save(Path(QStringLiteral("whole.png")), "PNG"));
    const QByteArray whole = ReadAll(Path(QStringLiteral("whole.png")));
    QByteArray damaged = whole;
    damaged[whole.indexOf("IDAT") + 10] ^= 0x40;
    for (const QByteArray &bad : {whole.left(whole.size() / 2), damaged}) {
        ASSERT_TRUE(WriteAll(Path(QStringLiteral("bad.png")), bad));
        for (const LoadedImage &r : {LoadImageFile(Path(QStringLiteral("bad.png"))),
                                     LoadImageTopRow(Path(QStringLiteral("bad.png")))}) {
            EXPECT_EQ(r.status, LoadStatus::Refused);
            EXPECT_TRUE(r.image.isNull());
        }
    }
}

TEST_F(ImageLoadTest, BmpAlphaIsIgnoredNotBlended)
{
    QImage img(4, 1, QImage::Format_ARGB32);
    img.setPixel(0, 0, qRgba(0xF0, 0x80, 0x10, 0));
    img.setPixel(1, 0, qRgba(0x10, 0x20, 0x30, 0x40));
    img.setPixel(2, 0, qRgba(0xFF, 0xFF, 0xFF, 0xFF));
    img.setPixel(3, 0, qRgba(1, 2, 3, 0x80));
    ASSERT_TRUE(img.save(Path(QStringLiteral("alpha.bmp")), "BMP"));
    const LoadedImage r = LoadImageFile(Path(QStringLiteral("alpha.bmp")));
    ASSERT_EQ(r.status, LoadStatus::Ok);
    // Qt may write 32-bit BMPs without alpha; either way the colours stay.
    EXPECT_EQ(r.image.pixel(0, 0), qRgb(0xF0, 0x80, 0x10));
    EXPECT_EQ(r.image.pixel(1, 0), qRgb(0x10, 0x20, 0x30));
    EXPECT_EQ(r.image.pixel(2, 0), qRgb(0xFF, 0xFF, 0xFF));
}

// Expected colour of a 5-6-5 pixel: each channel's bits repeated
// downwards to 8 bits.
QRgb From565(QRgb p)
{
    const int r = qRed(p) >> 3, g = qGreen(p) >> 2, b = qBlue(p) >> 3;
    return qRgb(r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2);
}

TEST_F(ImageLoadTest, BmpOfEveryDepthAndHeaderDecodesAsStored)
{
    const QImage img = NoiseImage(37, 5, 11);
    struct Case {
        const char *name;
        BmpLayout layout;
        bool topDown;
    };
    auto layout = [](int bpp, int colours, uint32_t compression = 0, int infoSize = 40,
                     std::vector<uint32_t> masks = {}) {
        BmpLayout s;
        s.width = 37;
        s.height = 5;
        s.bpp = bpp;
        s.palette = Palette(colours);
        s.compression = compression;
        s.infoSize = infoSize;
        s.masks = std::move(masks);
        return s;
    };
    const Case cases[] = {
        {"1bit", layout(1, 2), false},
        {"4bit", layout(4, 16), false},
        {"8bit", layout(8, 256), false},
        {"8bit_few_colours", layout(8, 200), false},  // indexes 200.. are black
        {"os2_8bit", layout(8, 256, 0, 12), false},
        {"565_masks", layout(16, 0, 3, 40, {0xF800, 0x07E0, 0x001F}), false},
        {"24bit", layout(24, 0), false},
        {"24bit_topdown", layout(24, 0), true},
        {"32bit", layout(32, 0), false},
        {"32bit_masks_v3", layout(32, 0, 3, 56, {0xFF0000, 0xFF00, 0xFF}), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BmpLayout s = c.layout;
        if (c.topDown)
            s.height = -s.height;
        const QString path = Path(QString::fromLatin1(c.name) + QStringLiteral(".bmp"));
        ASSERT_TRUE(WriteAll(path, MakeBmp(s, BmpPixels(img, s.bpp, c.topDown))));
        const LoadedImage r = LoadImageFile(path);
        ASSERT_EQ(r.status, LoadStatus::Ok);
        ASSERT_EQ(r.image.size(), img.size());
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb p = img.pixel(x, y);
                const int index = qBlue(p) & ((1 << std::min(s.bpp, 8)) - 1);
                const QRgb want = s.bpp == 16                        ? From565(p)
                                  : s.bpp > 8                        ? p
                                  : size_t(index) < s.palette.size() ? s.palette[size_t(index)]
                                                                     : qRgb(0, 0, 0);
                ASSERT_EQ(r.image.pixel(x, y), want) << x << "," << y;
            }
    }
}

TEST_F(ImageLoadTest, RleBmpRunsJumpsAndSkippedPixelsAreBlack)
{
    const std::vector<QRgb> pal = Palette(16);
    BmpLayout s;
    s.width = 6;
    s.height = 3;
    s.bpp = 8;
    s.compression = 1;
    s.palette = pal;
    // Bottom row: a run of 3 of colour 1, 3 pixels as they are (2, 3, 4),
    // end of line. Middle row: jump 2 right, a run of 1 of colour 5, end of
    // line. Top row: end of picture at once.
    const QByteArray rle8("\x03\x01\x00\x03\x02\x03\x04\x00\x00\x00"
                          "\x00\x02\x02\x00\x01\x05\x00\x00\x00\x01",
                          20);
    ASSERT_TRUE(WriteAll(Path(QStringLiteral("rle8.bmp")), MakeBmp(s, rle8)));
    LoadedImage r = LoadImageFile(Path(QStringLiteral("rle8.bmp")));
    ASSERT_EQ(r.status, LoadStatus::Ok);
    const QRgb k = qRgb(0, 0, 0);
    const std::vector<std::vector<QRgb>> want = {
        {k, k, k, k, k, k},
        {k, k, pal[5], k, k, k},
        {pal[1], pal[1], pal[1], pal[2], pal[3], pal[4]},
    };
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(r.image.pixel(x, y), want[size_t(y)][size_t(x)]) << x << "," << y;

    s.bpp = 4;
    s.compression = 2;
    s.height = 1;
    // a run of 5 alternating colours 1 and 2, a run of 1 of colour 7, end
    ASSERT_TRUE(WriteAll(Path(QStringLiteral("rle4.bmp")),
                         MakeBmp(s, QByteArray("\x05\x12\x01\x70\x00\x01", 6))));
    r = LoadImageFile(Path(QStringLiteral("rle4.bmp")));
    ASSERT_EQ(r.status, LoadStatus::Ok);
    const std::vector<QRgb> row = {pal[1], pal[2], pal[1], pal[2], pal[1], pal[7]};
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(r.image.pixel(x, 0), row[size_t(x)]) << x;
}

// A BMP whose pixel data is shorter than its header promises is refused
// (the sampled row 0 is the last one a bottom-up file stores), for the
// dialog's whole picture and the capture's top row alike.
TEST_F(ImageLoadTest, CutOffBmpIsRefused)
{
    const QImage img = NoiseImage(40, 30, 4);
    auto layout = [](int bpp, int colours, int height = 30, uint32_t compression = 0) {
        BmpLayout s;
        s.width = 40;
        s.height = height;
        s.bpp = bpp;
        s.palette = Palette(colours);
        s.compression = compression;
        return s;
    };
    const QByteArray rle = QByteArray("\x28\x07\x00\x00", 4).repeated(29);  // no last row, no end
    const std::pair<const char *, QByteArray> files[] = {
        {"24bit", MakeBmp(layout(24, 0), BmpPixels(img, 24).chopped(1))},
        {"24bit_topdown", MakeBmp(layout(24, 0, -30), BmpPixels(img, 24, true).chopped(130))},
        {"8bit", MakeBmp(layout(8, 256), BmpPixels(img, 8).chopped(40))},
        {"32bit", MakeBmp(layout(32, 0), BmpPixels(img, 32).left(100))},
        {"rle8", MakeBmp(layout(8, 256, 30, 1), rle)},
        {"rle8_mid_run", MakeBmp(layout(8, 256, 30, 1), QByteArray("\x00\x05\x01\x02", 4))},
        {"no_pixels", MakeBmp(layout(24, 0), QByteArray())},
    };
    for (const auto &f : files) {
        SCOPED_TRACE(f.first);
        const QString path = Path(QString::fromLatin1(f.first) + QStringLiteral(".bmp"));
        ASSERT_TRUE(WriteAll(path, f.second));
        for (const LoadedImage &r : {LoadImageFile(path), LoadImageTopRow(path)}) {
            EXPECT_EQ(r.status, LoadStatus::Refused);
            EXPECT_TRUE(r.image.isNull());
            EXPECT_EQ(r.notice, QStringLiteral("图片文件不完整，无法装入"));
        }
    }
}

// `korvex-cli capture` decodes only the top row; its colours must be the
// dialog's, which decodes the whole picture, for every kind of file and
// every way of sampling.
TEST_F(ImageLoadTest, TopRowGivesTheColoursOfTheWholePicture)
{
    JpegOptions progressive;
    progressive.progressive = true;
    JpegOptions full;
    full.fullChroma = true;
    JpegOptions fullProgressive = full;
    fullProgressive.progressive = true;
    JpegOptions grey;
    grey.grey = true;
    JpegOptions greyProgressive = grey;
    greyProgressive.progressive = true;
    const std::pair<const char *, JpegOptions> jpegs[] = {
        {"baseline.jpg", {}}, {"progressive.jpg", progressive},
        {"full.jpg", full},   {"fullprog.jpg", fullProgressive},
        {"grey.jpg", grey},   {"greyprog.jpg", greyProgressive},
    };
    std::vector<QString> files;
    for (const auto &j : jpegs) {
        files.push_back(Path(QString::fromLatin1(j.first)));
        ASSERT_TRUE(WriteJpeg(files.back(), NoiseImage(203, 41, 9), j.second));
    }
    files.push_back(Path(QStringLiteral("wide.jpg")));
    ASSERT_TRUE(WriteJpeg(files.back(), GradientImage(2600, 17), progressive));
    const QImage img = NoiseImage(150, 21, 3);
    for (int bpp : {4, 8, 16, 24, 32}) {
        for (bool topDown : {false, true}) {
            BmpLayout s;
            s.width = img.width();
            s.height = topDown ? -img.height() : img.height();
            s.bpp = bpp;
            s.palette = Palette(bpp <= 8 ? 1 << bpp : 0);
            files.push_back(Path(QStringLiteral("b%1_%2.bmp").arg(bpp).arg(topDown)));
            ASSERT_TRUE(WriteAll(files.back(), MakeBmp(s, BmpPixels(img, bpp, topDown))));
        }
    }
    files.push_back(Path(QStringLiteral("qt.bmp")));
    ASSERT_TRUE(img.save(files.back(), "BMP"));
    files.push_back(Path(QStringLiteral("qt.png")));
    ASSERT_TRUE(img.save(files.back(), "PNG"));
    BmpLayout rle;
    rle.width = 300;
    rle.height = 4;
    rle.bpp = 8;
    rle.compression = 1;
    rle.palette = Palette(256);
    files.push_back(Path(QStringLiteral("rle.bmp")));
    // 64 of colour 9, three ends of line, 4 pixels as they are, 255 of 0x33
    // (cut at the width), end: only the top row has pixels beyond 64.
    ASSERT_TRUE(
        WriteAll(files.back(), MakeBmp(rle, QByteArray("\x40\x09\x00\x00\x00\x00\x00\x00\x00\x04"
                                                       "\x01\x02\x03\x04\xFF\x33\x00\x01",
                                                       18))));

    const std::pair<std::optional<int>, bool> samplings[] = {
        {std::nullopt, false}, {std::nullopt, true}, {16, false}, {64, true},
        {256, false},          {2048, true},
    };
    for (const QString &file : files) {
        SCOPED_TRACE(file.toStdString());
        const LoadedImage whole = LoadImageFile(file);
        const LoadedImage top = LoadImageTopRow(file);
        ASSERT_EQ(whole.status, LoadStatus::Ok);
        ASSERT_EQ(top.status, LoadStatus::Ok);
        ASSERT_EQ(top.image.width(), whole.image.width());
        EXPECT_EQ(top.image.height(), 1);
        for (const auto &[width, stretch] : samplings) {
            CaptureColours a{}, b{};
            ASSERT_TRUE(CaptureImage(whole.image, width, stretch, a));
            ASSERT_TRUE(CaptureImage(top.image, width, stretch, b));
            EXPECT_EQ(a, b) << (width ? *width : 0) << " " << stretch;
        }
    }
}

// ------------------------------------------------------- damaged files

TEST_F(ImageLoadTest, DamagedBmpGivesNothing)
{
    const QImage img = NoiseImage(64, 64, 2);
    ASSERT_TRUE(img.save(Path(QStringLiteral("good.bmp")), "BMP"));
    const QByteArray good = ReadAll(Path(QStringLiteral("good.bmp")));

    QByteArray garbage(4000, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    QByteArray badMagic = good;
    badMagic[0] = 'X';
    QByteArray badDepth = good;
    badDepth[28] = 7;  // 7 bits per pixel does not exist

    const std::pair<const char *, QByteArray> files[] = {
        {"empty.bmp", QByteArray()}, {"garbage.bmp", garbage},        {"magic.bmp", badMagic},
        {"depth.bmp", badDepth},     {"headonly.bmp", good.left(30)},
    };
    for (const auto &f : files) {
        ASSERT_TRUE(WriteAll(Path(QString::fromLatin1(f.first)), f.second));
        const LoadedImage r = LoadImageFile(Path(QString::fromLatin1(f.first)));
        EXPECT_TRUE(r.image.isNull()) << f.first;
        EXPECT_NE(r.status, LoadStatus::Ok) << f.first;
    }
    // cut inside the pixel data: either nothing or a picture of the
    // declared size, never a crash or a wrong size
    ASSERT_TRUE(WriteAll(Path(QStringLiteral("cut.bmp")), good.left(good.size() / 2)));
    const LoadedImage cut = LoadImageFile(Path(QStringLiteral("cut.bmp")));
    if (!cut.image.isNull()) {
        EXPECT_EQ(cut.image.size(), QSize(64, 64));
    }
}

TEST_F(ImageLoadTest, GarbageAndHeaderOnlyJpegs)
{
    ASSERT_TRUE(WriteJpeg(Path(QStringLiteral("good.jpg")), GradientImage(64, 48)));
    const QByteArray good = ReadAll(Path(QStringLiteral("good.jpg")));
    const std::vector<JpegMarker> markers = HeaderMarkers(good);
    ASSERT_FALSE(markers.empty());
    ASSERT_EQ(markers.back().code, 0xDA);
    const int sos = markers.back().offset;

    QByteArray garbage(3000, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 37 + 11) & 0xFF);

    // Headers that cannot be read: dropped without a word.
    const std::pair<const char *, QByteArray> unreadable[] = {
        {"empty.jpg", QByteArray()},
        {"garbage.jpg", garbage},
        {"soi.jpg", good.left(2)},
        {"tables.jpg", good.left(sos)},  // every table, no scan
        {"soigarbage.jpg", good.left(2) + garbage},
    };
    for (const auto &f : unreadable) {
        ASSERT_TRUE(WriteAll(Path(QString::fromLatin1(f.first)), f.second));
        const LoadedImage r = LoadImageFile(Path(QString::fromLatin1(f.first)));
        EXPECT_EQ(r.status, LoadStatus::NotRead) << f.first;
        EXPECT_TRUE(r.image.isNull()) << f.first;
        EXPECT_TRUE(r.notice.isEmpty()) << f.first;
    }

    // A scan header and no data: nothing was decoded, and the operator is told.
    ASSERT_TRUE(
        WriteAll(Path(QStringLiteral("nodata.jpg")), good.left(sos + 2 + markers.back().length)));
    const LoadedImage r = LoadImageFile(Path(QStringLiteral("nodata.jpg")));
    EXPECT_EQ(r.status, LoadStatus::Refused);
    EXPECT_TRUE(r.image.isNull());
    EXPECT_FALSE(r.notice.isEmpty());
}

TEST_F(ImageLoadTest, CutOffBaselineKeepsTheRowsDecodedBlackAfter)
{
    const QImage img = NoiseImage(96, 160, 6);
    ASSERT_TRUE(WriteJpeg(Path(QStringLiteral("whole.jpg")), img));
    const QByteArray whole = ReadAll(Path(QStringLiteral("whole.jpg")));
    ASSERT_TRUE(WriteAll(Path(QStringLiteral("cut.jpg")), whole.left(whole.size() / 2)));

    const LoadedImage full = LoadImageFile(Path(QStringLiteral("whole.jpg")));
    ASSERT_EQ(full.status, LoadStatus::Ok);
    const LoadedImage r = LoadImageFile(Path(QStringLiteral("cut.jpg")));
    ASSERT_EQ(r.status, LoadStatus::Partial);
    EXPECT_FALSE(r.notice.isEmpty());
    ASSERT_EQ(r.image.size(), img.size());

    // The kept rows are exactly the good file's; from the first black row
    // on everything is black.
    int kept = 0;
    while (kept < r.image.height() &&
           std::memcmp(r.image.constScanLine(kept), full.image.constScanLine(kept), 96 * 4) == 0)
        ++kept;
    EXPECT_GT(kept, 0);
    EXPECT_LT(kept, 160);
    for (int y = kept; y < r.image.height(); ++y)
        for (int x = 0; x < 96; ++x)
            ASSERT_EQ(r.image.pixel(x, y), qRgb(0, 0, 0)) << x << "," << y;
    EXPECT_TRUE(r.notice.contains(QString::number(kept)));
}

TEST_F(ImageLoadTest, MissingEndMarkerLosesNoRows)
{
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive);
        JpegOptions opt;
        opt.progressive = progressive;
        ASSERT_TRUE(WriteJpeg(Path(QStringLiteral("e.jpg")), NoiseImage(200, 64, 3), opt));
        const QByteArray whole = ReadAll(Path(QStringLiteral("e.jpg")));
        ASSERT_TRUE(WriteAll(Path(QStringLiteral("noeoi.jpg")), whole.left(whole.size() - 2)));
        const LoadedImage full = LoadImageFile(Path(QStringLiteral("e.jpg")));
        const LoadedImage r = LoadImageFile(Path(QStringLiteral("noeoi.jpg")));
        ASSERT_FALSE(r.image.isNull());
        EXPECT_EQ(r.image, full.image);
        if (!progressive) {
            EXPECT_EQ(r.status, LoadStatus::Ok);
        }
    }
}

TEST_F(ImageLoadTest, CutOffProgressiveKeepsTheWholePictureIfItsFirstScanArrived)
{
    JpegOptions opt;
    opt.progressive = true;
    const QImage img = GradientImage(120, 90);
    ASSERT_TRUE(WriteJpeg(Path(QStringLiteral("p.jpg")), img, opt));
    const QByteArray whole = ReadAll(Path(QStringLiteral("p.jpg")));

    // Cut well after the first scan (the DC scan is small).
    ASSERT_TRUE(WriteAll(Path(QStringLiteral("late.jpg")), whole.left(whole.size() * 3 / 4)));
    const LoadedImage late = LoadImageFile(Path(QStringLiteral("late.jpg")));
    ASSERT_EQ(late.status, LoadStatus::Partial);
    EXPECT_FALSE(late.notice.isEmpty());
    ASSERT_EQ(late.image.size(), img.size());
    if (HaveDjpeg()) {
        // what libjpeg makes of the data that arrived, as djpeg shows it
        const QImage ref =
            DjpegDecode(Path(QStringLiteral("late.jpg")), Path(QStringLiteral("late.ppm")));
        ASSERT_FALSE(ref.isNull());
        ExpectSameRows(late.image, ref, ref.height());
    }

    // Cut inside the first scan: areas with no data at all, so nothing.
    const std::vector<JpegMarker> markers = HeaderMarkers(whole);
    const int firstScanData = markers.back().offset + 2 + markers.back().length;
    ASSERT_TRUE(WriteAll(Path(QStringLiteral("early.jpg")), whole.left(firstScanData + 4)));
    const LoadedImage early = LoadImageFile(Path(QStringLiteral("early.jpg")));
    EXPECT_EQ(early.status, LoadStatus::Refused);
    EXPECT_TRUE(early.image.isNull());
    EXPECT_FALSE(early.notice.isEmpty());
}

TEST_F(ImageLoadTest, TooManyScansIsRefusedBeforeAnyIsDecoded)
{
    // A flat 4000 x 4000 picture: its refinement scans take a few bytes
    // each but walk all 250000 blocks, so decoding the first 500 of them
    // would take seconds.
    JpegOptions opt;
    opt.progressive = true;
    opt.grey = true;
    QImage flat(4000, 4000, QImage::Format_RGB32);
    flat.fill(qRgb(90, 90, 90));
    ASSERT_TRUE(WriteJpeg(Path(QStringLiteral("p.jpg")), flat, opt));
    QByteArray d = ReadAll(Path(QStringLiteral("p.jpg")));
    // Repeat the last scan (from its SOS to the EOI) until the file holds
    // far more scans than any real one.
    const int lastSos = d.lastIndexOf(QByteArray("\xFF\xDA", 2));
    ASSERT_GT(lastSos, 0);
    const QByteArray scan = d.mid(lastSos, d.size() - 2 - lastSos);
    ASSERT_LT(scan.size(), 200);
    for (int scans : {kJpegMaxScans + 1, 5000}) {
        SCOPED_TRACE(scans);
        QByteArray hostile = d.left(lastSos);
        for (int i = 0; i < scans; ++i)
            hostile += scan;
        hostile += QByteArray("\xFF\xD9", 2);
        ASSERT_TRUE(WriteAll(Path(QStringLiteral("scans.jpg")), hostile));
        QElapsedTimer clock;
        clock.start();
        for (const LoadedImage &r : {LoadImageFile(Path(QStringLiteral("scans.jpg"))),
                                     LoadImageTopRow(Path(QStringLiteral("scans.jpg")))}) {
            EXPECT_EQ(r.status, LoadStatus::Refused);
            EXPECT_TRUE(r.image.isNull());
            EXPECT_TRUE(r.notice.contains(QString::number(kJpegMaxScans)));
        }
        EXPECT_LT(clock.elapsed(), 500);
    }
}

// ------------------------------------------------------------ hostile size

TEST_F(ImageLoadTest, HugeDeclaredSizesAreRefusedBeforeAnyAllocation)
{
    JpegOptions prog;
    prog.progressive = true;
    ASSERT_TRUE(WriteJpeg(Path(QStringLiteral("base.jpg")), GradientImage(32, 32)));
    ASSERT_TRUE(WriteJpeg(Path(QStringLiteral("prog.jpg")), GradientImage(32, 32), prog));
    const QByteArray base = ReadAll(Path(QStringLiteral("base.jpg")));
    const QByteArray progressive = ReadAll(Path(QStringLiteral("prog.jpg")));
    auto png = [](QImage::Format format) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        EXPECT_TRUE(GradientImage(4, 4).convertToFormat(format).save(&buffer, "PNG"));
        return bytes;
    };

    const std::pair<const char *, QByteArray> files[] = {
        {"huge_prog.jpg", DeclareSize(progressive, 60000, 60000, 64)},
        {"huge_base.jpg", DeclareSize(base, 60000, 60000, 64)},
        {"over_budget.jpg", DeclareSize(base, 10001, 10000, 64)},
        {"beyond_libjpeg.jpg",
         DeclareSize(base, 65535, 65535, 64)},  // libjpeg's own limit is 65500
        {"huge.bmp", BmpHeader(60000, 60000, 64)},
        {"huge_topdown.bmp", BmpHeader(60000, -60000, 64)},
        {"over_budget.bmp", BmpHeader(10001, 10000, 64)},
        {"huge.png", DeclarePngSize(png(QImage::Format_RGB888), 60000, 60000)},
        {"over_budget.png", DeclarePngSize(png(QImage::Format_Grayscale8), 10001, 10000)},
        {"deep.png", DeclarePngSize(png(QImage::Format_RGBX64), 8000, 8000)},  // 512 MB
    };
    const long before = MaxRssKb();
    QElapsedTimer clock;
    clock.start();
    for (const auto &f : files) {
        ASSERT_TRUE(WriteAll(Path(QString::fromLatin1(f.first)), f.second));
        ASSERT_LT(f.second.size(), 4096) << f.first;
        const LoadedImage r = LoadImageFile(Path(QString::fromLatin1(f.first)));
        EXPECT_EQ(r.status, LoadStatus::Refused) << f.first;
        EXPECT_TRUE(r.image.isNull()) << f.first;
        EXPECT_TRUE(r.notice.contains(QStringLiteral("像素"))) << f.first;
    }
    // Nothing near the declared sizes (14 GB each) was ever touched.
    EXPECT_LT(MaxRssKb() - before, 64 * 1024);
    EXPECT_LT(clock.elapsed(), 20000) << "refusals take no real work";
}

TEST_F(ImageLoadTest, LibjpegMemoryLimitStopsProgressiveWithinBudget)
{
    // 9000 x 9000 is inside the pixel budget, but its progressive
    // coefficient store (4:4:4: 6 bytes a pixel) is far above libjpeg's
    // limit: refused when libjpeg asks for it, with nothing allocated.
    JpegOptions opt;
    opt.progressive = true;
    opt.fullChroma = true;
    ASSERT_TRUE(WriteJpeg(Path(QStringLiteral("p.jpg")), GradientImage(32, 32), opt));
    const QByteArray hostile = DeclareSize(ReadAll(Path(QStringLiteral("p.jpg"))), 9000, 9000, 64);
    ASSERT_TRUE(WriteAll(Path(QStringLiteral("mem.jpg")), hostile));
    const long before = MaxRssKb();
    const LoadedImage r = LoadImageFile(Path(QStringLiteral("mem.jpg")));
    EXPECT_EQ(r.status, LoadStatus::Refused);
    EXPECT_TRUE(r.image.isNull());
    EXPECT_TRUE(r.notice.contains(QStringLiteral("MB")));
    EXPECT_LT(MaxRssKb() - before, 64 * 1024);
}

TEST_F(ImageLoadTest, PreviewIsSmallAndBounded)
{
    ASSERT_TRUE(WriteJpeg(Path(QStringLiteral("big.jpg")), GradientImage(1600, 1200)));
    const QImage p = LoadPreview(Path(QStringLiteral("big.jpg")), QSize(180, 180));
    ASSERT_FALSE(p.isNull());
    EXPECT_LE(p.width(), 180);
    EXPECT_LE(p.height(), 180);
    EXPECT_GE(p.width(), 170);  // aspect kept, box filled across

    ASSERT_TRUE(WriteAll(Path(QStringLiteral("huge.jpg")),
                         DeclareSize(ReadAll(Path(QStringLiteral("big.jpg"))), 60000, 60000, 64)));
    EXPECT_TRUE(LoadPreview(Path(QStringLiteral("huge.jpg")), QSize(180, 180)).isNull());
    EXPECT_TRUE(LoadPreview(Path(QStringLiteral("none.jpg")), QSize(180, 180)).isNull());
}

}  // namespace
}  // namespace korvex
