// Reading the image files the capture dialog and `korvex-cli capture` accept:
// ".bmp" through our own reader (bmp_reader), ".png" through Qt's PNG reader,
// ".jpg" and ".jpeg" through libjpeg (jpeg_reader), chosen by the lower-cased
// extension. Files come from anywhere, so every reader is bounded: no image
// above kMaxImagePixels is decoded (the size is read from the header first),
// a PNG's decoded picture may take at most kMaxDecodedBytes, libjpeg may
// allocate at most kJpegMemoryLimit bytes for its own buffers, and a
// progressive JPEG may hold at most kJpegMaxScans scans (counted before any
// is decoded). Every pixel handed on comes from the file or is black where
// the file says so: a BMP or PNG cut short is refused, a JPEG cut short
// keeps what was decoded (see LoadImageFile). Errors never end the program.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>

namespace korvex {

// Pixel budget for every format: 100 megapixels (a 12247 x 8165 picture),
// far above what cameras and scanners produce. The decoded picture is held
// at 4 bytes a pixel, so it never needs more than 400 MB.
constexpr int64_t kMaxImagePixels = 100'000'000;
// What Qt's PNG reader may allocate for the picture it decodes: the same
// 400 MB. A PNG of 16 bits a channel decodes at 8 bytes a pixel, so it may
// have at most 50 megapixels.
constexpr int64_t kMaxDecodedBytes = kMaxImagePixels * 4;
// libjpeg's own buffers (the whole-image coefficient store of progressive
// and multi-scan files: 2 bytes a sample). Enough for a 4:2:0 progressive
// JPEG of about 85 megapixels or a 4:4:4 one of about 42.
constexpr long kJpegMemoryLimit = 256L * 1024 * 1024;
// Real progressive files have about ten scans; this many only a hostile
// file has, and each scan walks the whole image.
constexpr int kJpegMaxScans = 500;

enum class LoadStatus {
    Ok,       // the whole picture was read
    NotRead,  // missing file, other extension, unreadable header: nothing, say nothing
    Refused,  // too large, cut-off BMP, out of libjpeg's memory, or damaged: nothing, `notice` says
              // why
    Partial,  // a damaged or cut-off JPEG: what was decoded, `notice` says so
};

struct LoadedImage {
    QImage image;  // Format_RGB32, or null when nothing was read
    LoadStatus status = LoadStatus::NotRead;
    QString notice;  // for the operator; empty for Ok and NotRead
};

// Loads `path` at full size. A PNG is refused when Qt's reader stops before
// its last row (cut short or damaged). A sequential JPEG whose data ends or breaks
// while decoding keeps the rows decoded before that point; the rows after
// it are black. A progressive (or other multi-scan) JPEG cut short keeps
// the whole picture at the quality its scans reached, since each scan
// refines every row, unless its first scan is incomplete (areas without
// any data). A JPEG that breaks before its first row gives nothing. A file
// that lacks only its final EOI marker loses nothing.
LoadedImage LoadImageFile(const QString &path);

// The picture's top row alone, as a picture one row high: what the capture
// samples. The row and the outcome are those of LoadImageFile, under the
// same bounds, but nothing below the row is decoded (a multi-scan JPEG is
// still read whole, as each of its scans covers every row, and so is a PNG,
// which Qt's reader decodes whole), so the cost is about that of one row.
// Damage further down a BMP or sequential JPEG is not seen.
LoadedImage LoadImageTopRow(const QString &path);

// A small picture for the open dialog's preview, at most `box` in size,
// under the same bounds; null when the file cannot be shown.
QImage LoadPreview(const QString &path, const QSize &box);

// Whether `path` has an extension the loaders read (.bmp, .png, .jpg or
// .jpeg, in any letter case).
bool IsImageExtension(const QString &path);

// The lower-cased extension of a file name from its last ".", dot included
// ("" when the name has none).
QString LowerExtension(const QString &path);

// ---- shared by the format readers (jpeg_reader.cpp), so that every format
// is refused under the same bounds and in the same words ----

extern const QString kCutOffNotice;    // the file ends before the picture does
extern const QString kNoMemoryNotice;  // the picture could not be allocated
QString TooLargeNotice(int64_t width, int64_t height);
// Whether a declared size is empty or above kMaxImagePixels.
bool OverBudget(int64_t width, int64_t height);
LoadedImage Refused(const QString &notice);

}  // namespace korvex
