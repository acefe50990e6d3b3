#include "app/image_load.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace korvex {

QString LowerExtension(const QString &path)
{
    const QString file = QFileInfo(path).fileName();
    const int dot = file.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : file.mid(dot).toLower();
}

QStringList QtNameFilters(const QString &pipeFilter)
{
    QStringList out;
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        QString label = parts[i];
        const int open = label.lastIndexOf(QLatin1Char('('));
        if (open >= 0 && label.endsWith(QLatin1Char(')')))
            label = label.left(open + 1) + patterns + QLatin1Char(')');
        else
            label += QStringLiteral(" (") + patterns + QLatin1Char(')');
        out << label;
    }
    return out;
}

namespace {

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

// ---------------------------------------------------------------- JPEG

// libjpeg reports errors through error_exit, which must not return: ours
// jumps back into DecodeJpeg. Warnings are counted, never printed.
struct JpegErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code = 0;  // msg_code of the error that ended decoding
    bool tooManyScans = false;
    bool dataEnded = false;    // the file ended before libjpeg was done with it
    int endedInScan = 0;       // scan being read when it ended
    bool dataMissing = false;  // ...and a block then needed bits the file lacked
};

void OnJpegError(j_common_ptr cinfo)
{
    auto *errors = reinterpret_cast<JpegErrors *>(cinfo->err);
    errors->code = cinfo->err->msg_code;
    std::longjmp(errors->jump, 1);
}

void OnJpegMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;  // trace output
    auto *errors = reinterpret_cast<JpegErrors *>(cinfo->err);
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF && !errors->dataEnded) {
        errors->dataEnded = true;
        errors->endedInScan = reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number;
    }
    // The end of the file alone is no loss: the entropy decoder reads ahead,
    // and a file may lack only its EOI marker. Data is missing when, after
    // the end, a block needs bits that are not there (libjpeg then makes
    // them zero and warns).
    if ((code == JWRN_HIT_MARKER || code == JWRN_ARITH_BAD_CODE) && errors->dataEnded)
        errors->dataMissing = true;
    // Other warnings (extraneous bytes, a marker in the wrong place) leave
    // libjpeg decoding on, as every other libjpeg program does; they change
    // nothing here.
}

void SilentOutput(j_common_ptr) {}

void OnJpegProgress(j_common_ptr cinfo)
{
    auto *d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kJpegMaxScans) {
        auto *errors = reinterpret_cast<JpegErrors *>(cinfo->err);
        errors->tooManyScans = true;
        std::longjmp(errors->jump, 1);
    }
}

// Everything the decoder touches lives here, on the heap and outside the
// frame that calls setjmp, so nothing is lost when an error jumps back.
struct JpegJob {
    JpegErrors errors;
    jpeg_decompress_struct cinfo{};
    jpeg_progress_mgr progress{};
    FILE *file = nullptr;
    bool created = false;
    bool headerRead = false;
    bool started = false;
    bool multiScan = false;
    int64_t width = 0, height = 0;  // as the header declares them
    QImage image;
    int rowsDone = 0;
    std::vector<JSAMPLE> row;

    ~JpegJob()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
        if (file)
            std::fclose(file);
    }
};

void PaintRowsBlack(QImage &image, int from)
{
    for (int y = from; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        std::fill(line, line + image.width(), qRgb(0, 0, 0));
    }
}

bool IsMemoryError(int code)
{
    return code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE ||
           code == JERR_TFILE_CREATE || code == JERR_WIDTH_OVERFLOW || code == JERR_IMAGE_TOO_BIG;
}

// What the operator is told when decoding stopped on an error.
QString ErrorNotice(const JpegJob &job)
{
    if (job.errors.tooManyScans)
        return QStringLiteral("图片数据损坏：扫描段超过 %1 个").arg(kJpegMaxScans);
    if (IsMemoryError(job.errors.code))
        return QStringLiteral("图片太大：解码需要的内存超过了 %1 MB 的上限")
            .arg(kJpegMemoryLimit / (1024 * 1024));
    if (job.errors.code == JERR_CONVERSION_NOTIMPL)
        return QStringLiteral("不支持这种 JPEG 颜色格式");
    return QStringLiteral("图片数据损坏，无法装入");
}

LoadedImage Refused(const QString &notice)
{
    LoadedImage out;
    out.status = LoadStatus::Refused;
    out.notice = notice;
    return out;
}

// The result once the decoder stopped, normally or on an error.
LoadedImage JpegOutcome(JpegJob &job, bool failed)
{
    LoadedImage out;
    if (!job.headerRead)
        return out;  // not a JPEG we can read: dropped without a word
    const int height = job.image.isNull() ? 0 : job.image.height();
    const bool complete = !failed && job.rowsDone == height && height > 0;

    if (failed && height == 0)
        return Refused(ErrorNotice(job));  // broke before the first row

    if (job.multiScan) {
        // All input was absorbed before the first row came out.
        if (failed && job.rowsDone < height)
            return Refused(ErrorNotice(job));
        if (job.errors.dataMissing && job.errors.endedInScan <= 1)
            return Refused(QStringLiteral("图片文件不完整，无法装入"));
        out.image = job.image;
        if (job.errors.dataEnded) {
            out.status = LoadStatus::Partial;
            out.notice = QStringLiteral("图片文件不完整：显示的是已读到的数据所达到的精度");
        } else {
            out.status = LoadStatus::Ok;
        }
        return out;
    }

    if (complete && !job.errors.dataMissing) {
        out.image = job.image;
        out.status = LoadStatus::Ok;
        return out;
    }
    if (job.rowsDone == 0) {
        if (failed)
            return Refused(ErrorNotice(job));
        return Refused(QStringLiteral("图片文件不完整，无法装入"));
    }
    PaintRowsBlack(job.image, job.rowsDone);
    out.image = job.image;
    out.status = LoadStatus::Partial;
    out.notice = QStringLiteral("图片数据%1：只装入了前 %2 行（共 %3 行），其余为黑色")
                     .arg(failed ? QStringLiteral("损坏") : QStringLiteral("不完整"))
                     .arg(job.rowsDone)
                     .arg(height);
    return out;
}

// Decodes a JPEG into RGB32. `previewSide` 0 decodes at scale 1/1;
// otherwise libjpeg scales down by up to 8 while both sides stay at least
// `previewSide` pixels.
LoadedImage DecodeJpeg(const QString &path, int previewSide)
{
    auto job = std::make_unique<JpegJob>();
    job->file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!job->file)
        return {};

    jpeg_decompress_struct &cinfo = job->cinfo;
    cinfo.err = jpeg_std_error(&job->errors.pub);
    job->errors.pub.error_exit = OnJpegError;
    job->errors.pub.emit_message = OnJpegMessage;
    job->errors.pub.output_message = SilentOutput;
    job->progress.progress_monitor = OnJpegProgress;

    // Every libjpeg call below may jump back here; the state it leaves is
    // all in *job.
    if (setjmp(job->errors.jump))
        return JpegOutcome(*job, true);

    jpeg_create_decompress(&cinfo);
    job->created = true;
    cinfo.mem->max_memory_to_use = kJpegMemoryLimit;
    cinfo.progress = &job->progress;
    jpeg_stdio_src(&cinfo, job->file);
    jpeg_read_header(&cinfo, TRUE);
    job->headerRead = true;
    job->width = cinfo.image_width;
    job->height = cinfo.image_height;
    if (OverBudget(job->width, job->height))
        return Refused(TooLargeNotice(job->width, job->height));

    cinfo.out_color_space = JCS_RGB;
    cinfo.quantize_colors = FALSE;
    cinfo.scale_num = 1;
    cinfo.scale_denom = 1;
    if (previewSide > 0) {
        const int64_t shorter = std::min(job->width, job->height);
        while (cinfo.scale_denom < 8 && shorter / (cinfo.scale_denom * 2) >= previewSide)
            cinfo.scale_denom *= 2;
    }
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_block_smoothing = TRUE;
    job->multiScan = jpeg_has_multiple_scans(&cinfo);

    jpeg_start_decompress(&cinfo);
    job->started = true;
    // A multi-scan file has been read whole by now; one that ended inside
    // its first scan has areas with no data at all.
    if (job->multiScan && job->errors.dataMissing && job->errors.endedInScan <= 1)
        return Refused(QStringLiteral("图片文件不完整，无法装入"));
    if (cinfo.output_components != 3)
        return Refused(QStringLiteral("不支持这种 JPEG 颜色格式"));

    job->image = QImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                        QImage::Format_RGB32);
    if (job->image.isNull())
        return Refused(QStringLiteral("内存不足，无法装入图片"));
    job->row.resize(static_cast<size_t>(cinfo.output_width) * 3);

    const int width = static_cast<int>(cinfo.output_width);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {job->row.data()};
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1)
            break;
        // A sequential file that ran out of data: this row and the rest
        // were made up by libjpeg, not read.
        if (!job->multiScan && job->errors.dataMissing)
            break;
        auto *line = reinterpret_cast<QRgb *>(job->image.scanLine(job->rowsDone));
        const JSAMPLE *s = job->row.data();
        for (int x = 0; x < width; ++x, s += 3)
            line[x] = qRgb(s[0], s[1], s[2]);
        ++job->rowsDone;
    }
    // Nothing after the last row matters; the decoder is dropped unfinished.
    return JpegOutcome(*job, false);
}

// ----------------------------------------------------------------- BMP

// Makes any decoded BMP plain 0xffRRGGBB. An alpha channel is ignored, not
// blended: the colour values are taken as stored.
QImage ToOpaqueRgb32(QImage image)
{
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_RGB32);
    image = image.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return image;
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] |= 0xff000000u;
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

// Opens `path` as a BMP and nothing else (a PNG named ".bmp" is not read).
void SetUpBmpReader(QImageReader &reader)
{
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    reader.setFormat("bmp");
    // Room for the pixel budget at 4 bytes a pixel, in MB.
    reader.setAllocationLimit(static_cast<int>(kMaxImagePixels * 4 / (1024 * 1024)) + 16);
}

// The picture size a BMP header declares, read before any decoder sees the
// file (Qt's reader calls anything above 16384 x 16384 unreadable, which
// would hide the reason from the operator). False for no BMP header.
bool BmpDeclaredSize(const QString &path, int64_t &width, int64_t &height)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray h = f.read(26);
    if (h.size() < 26 || h[0] != 'B' || h[1] != 'M')
        return false;
    auto u8 = [&](int at) { return static_cast<uint32_t>(static_cast<uint8_t>(h[at])); };
    auto u16 = [&](int at) { return u8(at) | u8(at + 1) << 8; };
    auto u32 = [&](int at) { return u16(at) | u16(at + 2) << 16; };
    const uint32_t infoSize = u32(14);
    if (infoSize == 12) {  // OS/2 core header: 16-bit sizes
        width = u16(18);
        height = u16(20);
    } else {
        width = static_cast<int32_t>(u32(18));
        height = static_cast<int32_t>(u32(22));
        if (height < 0)
            height = -height;  // top-down rows
    }
    return true;
}

LoadedImage DecodeBmp(const QString &path)
{
    int64_t declaredWidth = 0, declaredHeight = 0;
    if (BmpDeclaredSize(path, declaredWidth, declaredHeight) && declaredWidth > 0 &&
        declaredHeight > 0 && OverBudget(declaredWidth, declaredHeight))
        return Refused(TooLargeNotice(declaredWidth, declaredHeight));

    QImageReader reader(path);
    SetUpBmpReader(reader);
    const QSize size = reader.size();  // the header only
    if (!size.isValid())
        return {};
    if (OverBudget(size.width(), size.height()))
        return Refused(TooLargeNotice(size.width(), size.height()));
    QImage image;
    if (!reader.read(&image))
        return {};
    LoadedImage out;
    out.image = ToOpaqueRgb32(std::move(image));  // no second copy of a large picture
    if (out.image.isNull())
        return Refused(QStringLiteral("内存不足，无法装入图片"));
    out.status = LoadStatus::Ok;
    return out;
}

}  // namespace

LoadedImage LoadImageFile(const QString &path)
{
    const QString ext = LowerExtension(path);
    const bool bmp = ext == QLatin1String(".bmp");
    const bool jpeg = ext == QLatin1String(".jpg") || ext == QLatin1String(".jpeg");
    if ((!bmp && !jpeg) || !QFileInfo(path).isFile())
        return {};
    return bmp ? DecodeBmp(path) : DecodeJpeg(path, 0);
}

QImage LoadPreview(const QString &path, const QSize &box)
{
    const QString ext = LowerExtension(path);
    if (!box.isValid() || box.isEmpty() || !QFileInfo(path).isFile())
        return {};
    QImage image;
    if (ext == QLatin1String(".jpg") || ext == QLatin1String(".jpeg")) {
        image = DecodeJpeg(path, std::max(box.width(), box.height())).image;
    } else if (ext == QLatin1String(".bmp")) {
        image = DecodeBmp(path).image;
    }
    if (image.isNull())
        return image;
    if (image.width() <= box.width() && image.height() <= box.height())
        return image;
    return image.scaled(box, Qt::KeepAspectRatio, Qt::FastTransformation);
}

}  // namespace korvex
