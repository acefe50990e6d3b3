// The image-loading fuzz harness shared by fuzz_jpeg, fuzz_bmp and
// fuzz_png: the input is written to a file of this process (the loaders
// read files), and loaded whole, as its top row and as a preview. Whenever both the whole
// picture and the top row come out, their row 0 must be the same pixels.
// Inputs declaring more than kFuzzPixels are skipped: the loaders' own
// bounds are far larger, and such units would only slow the fuzzer down.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "app/image_load.h"

namespace korvex::fuzz {

constexpr int64_t kFuzzPixels = 1 << 22;

inline void Check(bool ok)
{
    if (!ok)
        std::abort();
}

inline bool HasPicture(const LoadedImage &r)
{
    return r.status == LoadStatus::Ok || r.status == LoadStatus::Partial;
}

inline int LoadAndCompare(const uint8_t *data, size_t size, const char *extension)
{
    static const std::string path =
        "/tmp/korvex-fuzz-" + std::to_string(::getpid()) + std::string(extension);
    static const bool cleanUp = [] {
        return std::atexit([] { std::remove(path.c_str()); }) == 0;
    }();
    (void)cleanUp;
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    const bool written = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written)
        return 0;

    const QString file = QString::fromStdString(path);
    const LoadedImage whole = LoadImageFile(file);
    const LoadedImage top = LoadImageTopRow(file);
    Check(HasPicture(whole) != whole.image.isNull());
    Check(HasPicture(top) != top.image.isNull());
    Check((whole.status == LoadStatus::Refused) == !whole.notice.isEmpty() ||
          whole.status == LoadStatus::Partial);
    if (HasPicture(whole) && HasPicture(top)) {
        Check(top.image.width() == whole.image.width() && top.image.height() == 1);
        Check(std::memcmp(top.image.constScanLine(0), whole.image.constScanLine(0),
                          static_cast<size_t>(whole.image.width()) * 4) == 0);
    }
    (void)LoadPreview(file, QSize(48, 48));
    return 0;
}

}  // namespace korvex::fuzz
