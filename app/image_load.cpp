#include "app/image_load.h"

#include <QFileInfo>
#include <QImageReader>
#include <algorithm>

#include "app/bmp_reader.h"
#include "app/jpeg_reader.h"

namespace korvex {

QString LowerExtension(const QString &path)
{
    const QString file = QFileInfo(path).fileName();
    const int dot = file.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : file.mid(dot).toLower();
}

bool IsImageExtension(const QString &path)
{
    const QString ext = LowerExtension(path);
    return ext == QLatin1String(".bmp") || ext == QLatin1String(".png") ||
           ext == QLatin1String(".jpg") || ext == QLatin1String(".jpeg");
}

// ---------------------------------------------------- shared by the readers

const QString kCutOffNotice = QStringLiteral("图片文件不完整，无法装入");
const QString kNoMemoryNotice = QStringLiteral("内存不足，无法装入图片");

QString TooLargeNotice(int64_t width, int64_t height)
{
    return QStringLiteral("图片太大：%1 × %2 像素，超过了 %3 像素的上限")
        .arg(width)
        .arg(height)
        .arg(kMaxImagePixels);
}

bool OverBudget(int64_t width, int64_t height)
{
    return width <= 0 || height <= 0 || width * height > kMaxImagePixels;
}

LoadedImage Refused(const QString &notice)
{
    LoadedImage out;
    out.status = LoadStatus::Refused;
    out.notice = notice;
    return out;
}

namespace {

// ----------------------------------------------------------------- BMP

LoadedImage DecodeBmp(const QString &path, int topRows)
{
    const BmpDecoded bmp = DecodeBmpFile(path, kMaxImagePixels, topRows);
    LoadedImage out;
    switch (bmp.status) {
    case BmpStatus::Ok:
        out.image = bmp.image;
        out.status = LoadStatus::Ok;
        return out;
    case BmpStatus::NotBmp: return out;  // dropped without a word, as every unreadable file
    case BmpStatus::TooLarge: return Refused(TooLargeNotice(bmp.width, bmp.height));
    case BmpStatus::CutOff: return Refused(kCutOffNotice);
    case BmpStatus::NoMemory: break;
    }
    return Refused(kNoMemoryNotice);
}

// ----------------------------------------------------------------- PNG

// Qt's PNG reader, told to read PNG and nothing else (content never picks
// another reader). The header gives the size and the format the picture
// will be decoded into, so both bounds are checked before a row is read.
// Qt decodes a PNG whole; `topRows` only cuts what is handed on.
LoadedImage DecodePng(const QString &path, int topRows)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    // Qt's own allocation guard, set just above ours so that ours decides.
    reader.setAllocationLimit(static_cast<int>(kMaxDecodedBytes / (1024 * 1024)) + 1);
    if (!reader.canRead())
        return {};  // not a PNG: dropped without a word, as every unreadable file
    const QSize size = reader.size();
    if (OverBudget(size.width(), size.height()))
        return Refused(TooLargeNotice(size.width(), size.height()));
    const int bits = QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel();
    const int64_t bytes = int64_t{size.width()} * size.height() * std::max(bits, 8) / 8;
    if (bytes > kMaxDecodedBytes)
        return Refused(QStringLiteral("图片太大：%1 × %2 像素解码后要占 %3 MB，超过了 %4 MB 的上限")
                           .arg(size.width())
                           .arg(size.height())
                           .arg(bytes / (1024 * 1024))
                           .arg(kMaxDecodedBytes / (1024 * 1024)));
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return Refused(QStringLiteral("图片文件损坏或不完整，无法装入"));
    if (topRows > 0 && topRows < image.height())
        image = image.copy(0, 0, image.width(), topRows);
    // Alpha is dropped, not blended, as for a BMP; in place where the
    // depth allows.
    image.convertTo(QImage::Format_RGB32);
    if (image.isNull())
        return Refused(kNoMemoryNotice);
    LoadedImage out;
    out.image = image;
    out.status = LoadStatus::Ok;
    return out;
}

LoadedImage LoadRows(const QString &path, int topRows)
{
    if (!IsImageExtension(path) || !QFileInfo(path).isFile())
        return {};
    const QString ext = LowerExtension(path);
    if (ext == QLatin1String(".bmp"))
        return DecodeBmp(path, topRows);
    if (ext == QLatin1String(".png"))
        return DecodePng(path, topRows);
    return DecodeJpeg(path, 0, topRows);
}

}  // namespace

LoadedImage LoadImageFile(const QString &path)
{
    return LoadRows(path, 0);
}

LoadedImage LoadImageTopRow(const QString &path)
{
    return LoadRows(path, 1);
}

QImage LoadPreview(const QString &path, const QSize &box)
{
    const QString ext = LowerExtension(path);
    if (!box.isValid() || box.isEmpty() || !QFileInfo(path).isFile())
        return {};
    QImage image;
    if (ext == QLatin1String(".jpg") || ext == QLatin1String(".jpeg")) {
        image = DecodeJpeg(path, std::max(box.width(), box.height()), 0).image;
    } else if (ext == QLatin1String(".bmp")) {
        image = DecodeBmp(path, 0).image;
    } else if (ext == QLatin1String(".png")) {
        image = DecodePng(path, 0).image;
    }
    if (image.isNull())
        return image;
    if (image.width() <= box.width() && image.height() <= box.height())
        return image;
    return image.scaled(box, Qt::KeepAspectRatio, Qt::FastTransformation);
}

}  // namespace korvex
