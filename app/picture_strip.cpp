// Drawing the preview strip.
#include "app/picture_strip.h"

#include <algorithm>

#include "model/colour.h"

namespace korvex {

QImage PictureStrip(const PictureRecord &picture, int width, int height)
{
    QImage strip(width, height, QImage::Format_RGB32);
    for (int x = 0; x < std::min(width, kColours); ++x) {
        const uint32_t c = picture.colours[x];
        const QRgb rgb = qRgb(ColourRed(c), ColourGreen(c), ColourBlue(c));
        for (int y = 0; y < height; ++y)
            strip.setPixel(x, y, rgb);
    }
    return strip;
}

QImage PictureRow(const PictureColours &colours, int width, int height)
{
    QImage row(width, height, QImage::Format_RGB32);
    for (int x = 0; x < width; ++x) {
        // Colours [from, to) fall into column x; at least one.
        const int from = x * kColours / width;
        const int to = std::max(from + 1, (x + 1) * kColours / width);
        int sum[3] = {};
        for (int k = from; k < to; ++k) {
            for (int c = 0; c < 3; ++c)
                sum[c] += (colours[size_t(k)] >> (8 * c)) & 0xFF;  // 0x00BBGGRR
        }
        const int n = to - from;
        const QRgb rgb = qRgb(sum[0] / n, sum[1] / n, sum[2] / n);
        for (int y = 0; y < height; ++y)
            row.setPixel(x, y, rgb);
    }
    return row;
}

}  // namespace korvex
