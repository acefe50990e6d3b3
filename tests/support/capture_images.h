// Test pictures for the capture tests: noise images whose every pixel
// differs from its neighbours, JPEGs written with libjpeg's own compressor,
// hand-made hostile headers, and an independent decode by djpeg.
// Header-only: only the groups that link libjpeg include it.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace korvex::test {

// A w x h RGB32 picture of pseudo-random colours (fixed by `seed`).
inline QImage NoiseImage(int w, int h, uint32_t seed = 1)
{
    QImage img(w, h, QImage::Format_RGB32);
    uint32_t s = seed * 2654435761u + 12345u;
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            line[x] = 0xff000000u | (s >> 8);
        }
    }
    return img;
}

// A smooth picture (JPEG-friendly, so a decoder's rounding is what differs).
inline QImage GradientImage(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 7 + y) & 255, (x * 3 + y * 5) & 255, (x ^ y) & 255));
    return img;
}

struct JpegOptions {
    int quality = 85;
    bool progressive = false;
    bool fullChroma = false;  // 4:4:4 instead of libjpeg's default 4:2:0
    bool grey = false;
};

// Writes `img` as a JPEG through libjpeg's compressor.
inline bool WriteJpeg(const QString &path, const QImage &img, const JpegOptions &opt = {})
{
    FILE *f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f)
        return false;
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = static_cast<JDIMENSION>(img.width());
    c.image_height = static_cast<JDIMENSION>(img.height());
    c.input_components = opt.grey ? 1 : 3;
    c.in_color_space = opt.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, opt.quality, TRUE);
    if (opt.fullChroma && !opt.grey) {
        for (int i = 0; i < 3; ++i)
            c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    }
    if (opt.progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(img.width()) * 3);
    while (c.next_scanline < c.image_height) {
        const auto *px =
            reinterpret_cast<const QRgb *>(img.constScanLine(static_cast<int>(c.next_scanline)));
        for (int x = 0; x < img.width(); ++x) {
            if (opt.grey) {
                row[static_cast<size_t>(x)] = static_cast<JSAMPLE>(qGreen(px[x]));
            } else {
                row[static_cast<size_t>(x) * 3] = static_cast<JSAMPLE>(qRed(px[x]));
                row[static_cast<size_t>(x) * 3 + 1] = static_cast<JSAMPLE>(qGreen(px[x]));
                row[static_cast<size_t>(x) * 3 + 2] = static_cast<JSAMPLE>(qBlue(px[x]));
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(f) == 0;
}

inline QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Offsets of the JPEG markers after SOI (each at its 0xFF), up to the first
// SOS; entropy-coded data is not walked.
struct JpegMarker {
    int offset;
    uint8_t code;
    int length;  // the segment length field
};
inline std::vector<JpegMarker> HeaderMarkers(const QByteArray &d)
{
    std::vector<JpegMarker> out;
    int i = 2;
    while (i + 4 <= d.size() && static_cast<uint8_t>(d[i]) == 0xFF) {
        const uint8_t code = static_cast<uint8_t>(d[i + 1]);
        const int len = (static_cast<uint8_t>(d[i + 2]) << 8) | static_cast<uint8_t>(d[i + 3]);
        out.push_back({i, code, len});
        if (code == 0xDA)
            break;
        i += 2 + len;
    }
    return out;
}

// `jpeg` with the frame size changed to w x h, cut `dataBytes` after the
// end of its first scan header. What an attacker needs to declare a huge
// picture in a few hundred bytes.
inline QByteArray DeclareSize(const QByteArray &jpeg, int w, int h, int dataBytes)
{
    QByteArray d = jpeg;
    for (const JpegMarker &m : HeaderMarkers(d)) {
        if (m.code >= 0xC0 && m.code <= 0xC2) {
            d[m.offset + 5] = static_cast<char>(h >> 8);
            d[m.offset + 6] = static_cast<char>(h & 0xFF);
            d[m.offset + 7] = static_cast<char>(w >> 8);
            d[m.offset + 8] = static_cast<char>(w & 0xFF);
        }
        if (m.code == 0xDA)
            return d.left(m.offset + 2 + m.length + dataBytes);
    }
    return d;
}

// `png` with its IHDR's size changed to w x h (and the chunk's CRC-32
// made again, as the reader checks it).
inline QByteArray DeclarePngSize(const QByteArray &png, uint32_t w, uint32_t h)
{
    QByteArray d = png;
    uint32_t crc = 0xFFFFFFFFu;
    for (int i = 12; i < 29; ++i) {
        if (i >= 16 && i < 24)
            d[i] = static_cast<char>((i < 20 ? w : h) >> (8 * (3 - i % 4)));
        crc ^= static_cast<uint8_t>(d[i]);
        for (int b = 0; b < 8; ++b)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    for (int k = 0; k < 4; ++k)
        d[29 + k] = static_cast<char>(~crc >> (24 - 8 * k));
    return d;
}

// A BMP file header and info header for a w x h 24-bit picture followed
// by `pixelBytes` zero bytes.
inline QByteArray BmpHeader(int32_t w, int32_t h, int pixelBytes)
{
    QByteArray d(54 + pixelBytes, '\0');
    auto put16 = [&](int at, uint16_t v) {
        d[at] = static_cast<char>(v & 0xFF);
        d[at + 1] = static_cast<char>(v >> 8);
    };
    auto put32 = [&](int at, uint32_t v) {
        for (int k = 0; k < 4; ++k)
            d[at + k] = static_cast<char>((v >> (8 * k)) & 0xFF);
    };
    d[0] = 'B';
    d[1] = 'M';
    put32(2, static_cast<uint32_t>(d.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(w));
    put32(22, static_cast<uint32_t>(h));
    put16(26, 1);
    put16(28, 24);
    return d;
}

// A BMP of any depth and compression, made byte by byte: a 14-byte file
// header, an info header of `infoSize` bytes (12: OS/2, 40 and more:
// Windows; channel masks inside a header of 52 bytes or more, after a
// 40-byte one), the palette and `pixels` as stored.
struct BmpLayout {
    int width = 0, height = 0;  // a negative height stores the rows top-down
    int bpp = 24;
    uint32_t compression = 0;     // 0 plain, 1 RLE8, 2 RLE4, 3 channel masks
    std::vector<QRgb> palette;    // written as B, G, R(, 0)
    std::vector<uint32_t> masks;  // red, green, blue, for compression 3
    int infoSize = 40;
};
inline QByteArray MakeBmp(const BmpLayout &layout, const QByteArray &pixels)
{
    QByteArray d;
    auto put = [&](uint32_t v, int bytes) {
        for (int k = 0; k < bytes; ++k)
            d += static_cast<char>((v >> (8 * k)) & 0xFF);
    };
    const bool os2 = layout.infoSize == 12;
    const int entry = os2 ? 3 : 4;
    const int masks = layout.compression == 3 && layout.infoSize == 40 ? 12 : 0;
    const int offset =
        14 + layout.infoSize + masks + entry * static_cast<int>(layout.palette.size());
    d += "BM";
    put(static_cast<uint32_t>(offset + pixels.size()), 4);
    put(0, 4);
    put(static_cast<uint32_t>(offset), 4);
    put(static_cast<uint32_t>(layout.infoSize), 4);
    if (os2) {
        put(static_cast<uint32_t>(layout.width), 2);
        put(static_cast<uint32_t>(layout.height), 2);
        put(1, 2);
        put(static_cast<uint32_t>(layout.bpp), 2);
    } else {
        put(static_cast<uint32_t>(layout.width), 4);
        put(static_cast<uint32_t>(layout.height), 4);
        put(1, 2);
        put(static_cast<uint32_t>(layout.bpp), 2);
        put(layout.compression, 4);
        put(static_cast<uint32_t>(pixels.size()), 4);
        put(2835, 4);
        put(2835, 4);
        put(static_cast<uint32_t>(layout.palette.size()), 4);
        put(0, 4);
        for (int at = 40; at < layout.infoSize; at += 4)
            put(layout.compression == 3 && (at - 40) / 4 < int(layout.masks.size())
                    ? layout.masks[static_cast<size_t>((at - 40) / 4)]
                    : 0,
                4);
    }
    for (int i = 0; i * 4 < masks; ++i)
        put(layout.masks[static_cast<size_t>(i)], 4);
    for (QRgb c : layout.palette) {
        d += static_cast<char>(qBlue(c));
        d += static_cast<char>(qGreen(c));
        d += static_cast<char>(qRed(c));
        if (!os2)
            d += '\0';
    }
    return d + pixels;
}

// The pixel data of `img` at `bpp` bits (8 and below: the low bits of each
// pixel's blue value as palette index; 16: 5-6-5; 24; 32: B, G, R, 0),
// bottom-up unless `topDown`, each row padded to 4 bytes.
inline QByteArray BmpPixels(const QImage &img, int bpp, bool topDown = false)
{
    QByteArray d;
    const int stride = (img.width() * bpp + 31) / 32 * 4;
    for (int i = 0; i < img.height(); ++i) {
        const int y = topDown ? i : img.height() - 1 - i;
        QByteArray row(stride, '\0');
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            const int index = qBlue(p) & ((1 << std::min(bpp, 8)) - 1);
            switch (bpp) {
            case 1: row[x / 8] = static_cast<char>(row[x / 8] | index << (7 - x % 8)); break;
            case 4: row[x / 2] = static_cast<char>(row[x / 2] | index << (x % 2 ? 0 : 4)); break;
            case 8: row[x] = static_cast<char>(index); break;
            case 16: {
                const int v = (qRed(p) >> 3) << 11 | (qGreen(p) >> 2) << 5 | qBlue(p) >> 3;
                row[2 * x] = static_cast<char>(v & 0xFF);
                row[2 * x + 1] = static_cast<char>(v >> 8);
                break;
            }
            default:
                row[x * (bpp / 8)] = static_cast<char>(qBlue(p));
                row[x * (bpp / 8) + 1] = static_cast<char>(qGreen(p));
                row[x * (bpp / 8) + 2] = static_cast<char>(qRed(p));
            }
        }
        d += row;
    }
    return d;
}

// A palette of `n` distinct colours.
inline std::vector<QRgb> Palette(int n)
{
    std::vector<QRgb> p;
    for (int i = 0; i < n; ++i)
        p.push_back(qRgb((i * 37 + 5) & 255, (i * 91 + 17) & 255, (i * 53 + 101) & 255));
    return p;
}

inline bool HaveDjpeg()
{
    return std::system("command -v djpeg >/dev/null 2>&1") == 0;
}

// The picture as djpeg decodes it (-ppm, default settings: ISLOW DCT,
// fancy upsampling, block smoothing). Null when djpeg writes none.
inline QImage DjpegDecode(const QString &jpegPath, const QString &ppmPath)
{
    const std::string cmd = "djpeg -ppm -outfile '" + ppmPath.toStdString() + "' '" +
                            jpegPath.toStdString() + "' 2>/dev/null";
    // djpeg exits with 2 after a warning (a cut-off file) and still writes
    // the picture; whether one came out is what counts.
    QFile::remove(ppmPath);
    (void)std::system(cmd.c_str());
    const QByteArray d = ReadAll(ppmPath);
    // "P6\n<w> <h>\n255\n" then RGB triples (djpeg writes exactly this form;
    // greyscale files come out as P5).
    int fields[3] = {0, 0, 0};
    int at = 2, n = 0;
    if (d.size() < 2 || d[0] != 'P' || (d[1] != '6' && d[1] != '5'))
        return {};
    const int channels = d[1] == '6' ? 3 : 1;
    while (n < 3 && at < d.size()) {
        while (at < d.size() && (d[at] == ' ' || d[at] == '\n' || d[at] == '\r' || d[at] == '\t'))
            ++at;
        int v = 0;
        while (at < d.size() && d[at] >= '0' && d[at] <= '9')
            v = v * 10 + (d[at++] - '0');
        fields[n++] = v;
    }
    ++at;  // the single blank after maxval
    const int w = fields[0], h = fields[1];
    if (w <= 0 || h <= 0 || d.size() < at + static_cast<qsizetype>(w) * h * channels)
        return {};
    QImage img(w, h, QImage::Format_RGB32);
    const auto *p = reinterpret_cast<const uint8_t *>(d.constData()) + at;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x, p += channels)
            img.setPixel(x, y, channels == 3 ? qRgb(p[0], p[1], p[2]) : qRgb(p[0], p[0], p[0]));
    return img;
}

}  // namespace korvex::test
