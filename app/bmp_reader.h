// Decoding BMP files: 1, 4 and 8 bits a pixel with a palette (RLE4 and
// RLE8 too), 16 and 32 bits plain or with channel masks, and 24 bits;
// bottom-up and top-down rows; Windows and OS/2 headers. Every pixel handed
// on comes from the file or, where an RLE stream skips pixels, is black: a
// file whose pixel data is shorter than its header promises is refused as
// cut off, whichever rows a caller asks for.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>

namespace korvex {

enum class BmpStatus {
    Ok,
    NotBmp,    // no BMP header, or one of a kind this reader does not decode
    TooLarge,  // the declared size is above the caller's pixel budget
    CutOff,    // the pixel data ends before the picture does
    NoMemory,  // the picture could not be allocated
};

struct BmpDecoded {
    BmpStatus status = BmpStatus::NotBmp;
    QImage image;                   // Format_RGB32, opaque; null unless Ok
    int64_t width = 0, height = 0;  // as the header declares them (height positive)
};

// Decodes `path`. `topRows` > 0 decodes only the picture's first rows (the
// image then has at most that many), reading no other row of an
// uncompressed file; the rows are the same as in the whole picture.
// Pictures with more than `maxPixels` pixels are refused before anything
// is allocated.
BmpDecoded DecodeBmpFile(const QString &path, int64_t maxPixels, int topRows = 0);

}  // namespace korvex
