#include "app/bmp_reader.h"

#include <QFile>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace korvex {

namespace {

constexpr uint32_t kPlain = 0, kRle8 = 1, kRle4 = 2, kMasks = 3;
constexpr QRgb kBlack = 0xff000000u;

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

uint32_t Le(const uint8_t *p, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

// One colour channel of a 16- or 32-bit pixel, as 8 bits: a narrower
// channel has its bits repeated downwards (5 bits 0x1F give 0xFF), a wider
// one keeps its top 8 bits.
class Channel {
public:
    explicit Channel(uint32_t mask = 0) : mask_(mask)
    {
        if (!mask)
            return;
        while (!((mask >> shift_) & 1))
            ++shift_;
        while (shift_ + bits_ < 32 && ((mask >> (shift_ + bits_)) & 1))
            ++bits_;
    }
    int Of(uint32_t pixel) const
    {
        if (!bits_)
            return 0;
        const uint32_t v = ((pixel & mask_) >> shift_) & (bits_ >= 32 ? ~0u : (1u << bits_) - 1);
        if (bits_ >= 8)
            return static_cast<int>(v >> (bits_ - 8));
        uint32_t out = 0;
        int filled = 0;
        while (filled < 8) {
            out = out << bits_ | v;
            filled += bits_;
        }
        return static_cast<int>(out >> (filled - 8));
    }

private:
    uint32_t mask_ = 0;
    int shift_ = 0;
    int bits_ = 0;
};

struct Header {
    int64_t width = 0, height = 0;
    bool bottomUp = true;
    int bpp = 0;
    uint32_t compression = kPlain;
    std::vector<QRgb> palette;
    Channel red, green, blue;
    int64_t pixelStart = 0;
};

bool ReadExactly(FILE *f, uint8_t *into, size_t n)
{
    return std::fread(into, 1, n, f) == n;
}

// False for anything but a BMP of a kind decoded here.
bool ReadHeader(FILE *f, Header &h)
{
    uint8_t fileHeader[14];
    if (!ReadExactly(f, fileHeader, 14) || fileHeader[0] != 'B' || fileHeader[1] != 'M')
        return false;
    const uint32_t dataOffset = Le(fileHeader + 10, 4);
    uint8_t info[124] = {};
    if (!ReadExactly(f, info, 4))
        return false;
    const uint32_t infoSize = Le(info, 4);
    if (infoSize != 12 && infoSize != 16 && infoSize != 40 && infoSize != 52 && infoSize != 56 &&
        infoSize != 64 && infoSize != 108 && infoSize != 124)
        return false;
    if (!ReadExactly(f, info + 4, infoSize - 4))
        return false;

    uint32_t planes, colours = 0;
    if (infoSize == 12) {  // OS/2 1.x: 16-bit sizes, 3-byte palette entries
        h.width = Le(info + 4, 2);
        h.height = Le(info + 6, 2);
        planes = Le(info + 8, 2);
        h.bpp = static_cast<int>(Le(info + 10, 2));
    } else {
        h.width = static_cast<int32_t>(Le(info + 4, 4));
        h.height = static_cast<int32_t>(Le(info + 8, 4));
        planes = Le(info + 12, 2);
        h.bpp = static_cast<int>(Le(info + 14, 2));
        if (infoSize >= 40) {
            h.compression = Le(info + 16, 4);
            colours = Le(info + 32, 4);
        }
    }
    if (h.height < 0) {
        h.bottomUp = false;
        h.height = -h.height;
    }
    const bool validDepth =
        h.bpp == 1 || h.bpp == 4 || h.bpp == 8 || h.bpp == 16 || h.bpp == 24 || h.bpp == 32;
    const bool validCompression =
        h.compression == kPlain || (h.compression == kRle8 && h.bpp == 8) ||
        (h.compression == kRle4 && h.bpp == 4) ||
        (h.compression == kMasks && infoSize != 64 && (h.bpp == 16 || h.bpp == 32));
    if (h.width <= 0 || h.height <= 0 || planes != 1 || !validDepth || !validCompression)
        return false;

    if (h.compression == kMasks) {
        uint8_t masks[12];
        if (infoSize >= 52) {
            std::copy(info + 40, info + 52, masks);
        } else if (!ReadExactly(f, masks, 12)) {  // after a 40-byte header
            return false;
        }
        h.red = Channel(Le(masks, 4));
        h.green = Channel(Le(masks + 4, 4));
        h.blue = Channel(Le(masks + 8, 4));
    } else if (h.bpp == 16) {
        h.red = Channel(0x7C00);
        h.green = Channel(0x03E0);
        h.blue = Channel(0x001F);
    } else if (h.bpp == 32) {
        h.red = Channel(0xFF0000);
        h.green = Channel(0xFF00);
        h.blue = Channel(0xFF);
    }

    if (h.bpp <= 8) {
        const uint32_t most = 1u << h.bpp;
        const uint32_t count = colours == 0 || colours > most ? most : colours;
        const int entry = infoSize == 12 ? 3 : 4;
        std::vector<uint8_t> table(count * entry);
        if (!ReadExactly(f, table.data(), table.size()))
            return false;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t *e = table.data() + i * entry;
            h.palette.push_back(qRgb(e[2], e[1], e[0]));
        }
    }
    // Some writers leave the offset 0: the pixels then follow the palette.
    h.pixelStart = dataOffset != 0 ? dataOffset : static_cast<int64_t>(std::ftell(f));
    return true;
}

QRgb PaletteColour(const Header &h, unsigned index)
{
    return index < h.palette.size() ? h.palette[index] : kBlack;
}

void DecodeRow(const Header &h, const uint8_t *src, QRgb *dst)
{
    const int64_t w = h.width;
    switch (h.bpp) {
    case 1:
        for (int64_t x = 0; x < w; ++x)
            dst[x] = PaletteColour(h, (src[x / 8] >> (7 - x % 8)) & 1);
        break;
    case 4:
        for (int64_t x = 0; x < w; ++x)
            dst[x] = PaletteColour(h, (src[x / 2] >> (x % 2 ? 0 : 4)) & 0xF);
        break;
    case 8:
        for (int64_t x = 0; x < w; ++x)
            dst[x] = PaletteColour(h, src[x]);
        break;
    case 24:
        for (int64_t x = 0; x < w; ++x, src += 3)
            dst[x] = qRgb(src[2], src[1], src[0]);
        break;
    default: {  // 16 and 32: through the channel masks; alpha is ignored
        const int bytes = h.bpp / 8;
        for (int64_t x = 0; x < w; ++x, src += bytes) {
            const uint32_t p = Le(src, bytes);
            dst[x] = qRgb(h.red.Of(p), h.green.Of(p), h.blue.Of(p));
        }
    }
    }
}

// Uncompressed rows: each is read at its own place, so the first rows of a
// bottom-up file cost one seek and one read each.
BmpStatus DecodePlain(FILE *f, const Header &h, int64_t fileSize, QImage &image)
{
    const int64_t stride = (h.width * h.bpp + 31) / 32 * 4;
    if (h.pixelStart < 0 || h.pixelStart + stride * h.height > fileSize)
        return BmpStatus::CutOff;
    std::vector<uint8_t> line(static_cast<size_t>(stride));
    const int rows = image.height();
    const bool whole = rows == h.height;
    if (whole && ::fseeko(f, h.pixelStart, SEEK_SET) != 0)
        return BmpStatus::CutOff;
    for (int64_t i = 0; i < rows; ++i) {
        // whole picture: rows in file order; first rows: each at its place
        const int64_t stored = whole ? i : (h.bottomUp ? h.height - 1 - i : i);
        if (!whole && ::fseeko(f, h.pixelStart + stored * stride, SEEK_SET) != 0)
            return BmpStatus::CutOff;
        if (!ReadExactly(f, line.data(), line.size()))
            return BmpStatus::CutOff;  // the file shrank while being read
        const int64_t y = whole && h.bottomUp ? h.height - 1 - stored : (whole ? stored : i);
        DecodeRow(h, line.data(), reinterpret_cast<QRgb *>(image.scanLine(static_cast<int>(y))));
    }
    return BmpStatus::Ok;
}

class ByteReader {
public:
    explicit ByteReader(FILE *f) : f_(f) {}
    bool Get(uint8_t &b)
    {
        if (at_ == size_) {
            size_ = std::fread(buf_, 1, sizeof buf_, f_);
            at_ = 0;
            if (size_ == 0)
                return false;
        }
        b = buf_[at_++];
        return true;
    }

private:
    FILE *f_;
    uint8_t buf_[1 << 16];
    size_t at_ = 0, size_ = 0;
};

// RLE4 and RLE8: the whole stream is walked whichever rows are kept, so a
// stream that ends early is cut off for every caller. Pixels the stream
// skips (end of line, end of picture, jumps) stay black.
BmpStatus DecodeRle(FILE *f, const Header &h, QImage &image)
{
    if (::fseeko(f, h.pixelStart, SEEK_SET) != 0)
        return BmpStatus::CutOff;
    image.fill(kBlack);
    auto reader = std::make_unique<ByteReader>(f);
    const int rows = image.height();
    const bool rle4 = h.compression == kRle4;
    int64_t x = 0, row = 0;  // row: in file order
    // Pixels [x, x + n) of the current row; `index(i)` gives pixel x + i.
    auto put = [&](int64_t n, auto index) {
        const int64_t y = h.bottomUp ? h.height - 1 - row : row;
        if (y >= 0 && y < rows) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(static_cast<int>(y)));
            for (int64_t i = 0; i < n && x + i < h.width; ++i)
                line[x + i] = PaletteColour(h, index(i));
        }
        x += n;
    };
    while (row < h.height) {
        uint8_t count, value;
        if (!reader->Get(count) || !reader->Get(value))
            return BmpStatus::CutOff;
        if (count > 0) {
            put(count,
                [&](int64_t i) { return rle4 ? (i % 2 ? value & 0xF : value >> 4) : value; });
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++row;
        } else if (value == 1) {  // end of picture
            break;
        } else if (value == 2) {  // jump right and up
            uint8_t dx, dy;
            if (!reader->Get(dx) || !reader->Get(dy))
                return BmpStatus::CutOff;
            x += dx;
            row += dy;
        } else {  // `value` pixels as they are, padded to an even byte count
            const int bytes = rle4 ? (value + 1) / 2 : value;
            uint8_t run[255];
            for (int i = 0; i < bytes + (bytes & 1); ++i) {
                uint8_t b;
                if (!reader->Get(b))
                    return BmpStatus::CutOff;
                if (i < bytes)
                    run[i] = b;
            }
            put(value, [&](int64_t i) {
                return rle4 ? (i % 2 ? run[i / 2] & 0xF : run[i / 2] >> 4) : run[i];
            });
        }
    }
    return BmpStatus::Ok;
}

}  // namespace

BmpDecoded DecodeBmpFile(const QString &path, int64_t maxPixels, int topRows)
{
    BmpDecoded out;
    File f(std::fopen(QFile::encodeName(path).constData(), "rb"));
    if (!f)
        return out;
    Header h;
    if (!ReadHeader(f.get(), h))
        return out;
    out.width = h.width;
    out.height = h.height;
    if (h.width * h.height > maxPixels) {
        out.status = BmpStatus::TooLarge;
        return out;
    }
    struct stat st;
    if (::fstat(::fileno(f.get()), &st) != 0)
        return out;

    const int64_t rows = topRows > 0 && topRows < h.height ? topRows : h.height;
    QImage image(static_cast<int>(h.width), static_cast<int>(rows), QImage::Format_RGB32);
    if (image.isNull()) {
        out.status = BmpStatus::NoMemory;
        return out;
    }
    out.status = h.compression == kRle8 || h.compression == kRle4
                     ? DecodeRle(f.get(), h, image)
                     : DecodePlain(f.get(), h, st.st_size, image);
    if (out.status == BmpStatus::Ok)
        out.image = std::move(image);
    return out;
}

}  // namespace korvex
