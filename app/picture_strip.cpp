// Drawing the preview strip.
#include "app/picture_strip.h"

#include <algorithm>

namespace korvex {

QImage PictureStrip(const PictureRecord &picture, int width, int height)
{
    QImage strip(width, height, QImage::Format_RGB32);
    for (int x = 0; x < std::min(width, kColours); ++x) {
        const uint32_t c = picture.colours[x];  // 0x00BBGGRR
        const QRgb rgb = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
        for (int y = 0; y < height; ++y)
            strip.setPixel(x, y, rgb);
    }
    return strip;
}

}  // namespace korvex
