// The libjpeg driver behind LoadImageFile and LoadPreview: libjpeg's errors
// and warnings caught without ending the program, the scans of a
// progressive file counted before any is decoded, and what a damaged or
// cut-off file still gives.
#include "app/jpeg_reader.h"

#include <QFile>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace korvex {

namespace {

QString TooManyScansNotice()
{
    return QStringLiteral("图片数据损坏：扫描段超过 %1 个").arg(kJpegMaxScans);
}

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

// Counts the scans of a JPEG file by walking its markers, without decoding
// anything: the SOS markers up to EOI, skipping the entropy-coded data
// after each (where 0xFF is followed by a stuffed 0x00 or a restart
// marker). Stops counting above `limit`. The file position is restored.
int CountScans(FILE *file, int limit)
{
    const long start = std::ftell(file);
    std::rewind(file);
    auto next = [file] { return getc_unlocked(file); };
    auto isRestart = [](int c) { return c >= 0xD0 && c <= 0xD7; };
    constexpr int kNone = -2;
    int scans = 0;
    int c = next();
    int marker = c == 0xFF && next() == 0xD8 ? kNone : EOF;  // a code already read
    while (scans <= limit) {
        if (marker == kNone) {
            // the next marker: anything up to 0xFF is skipped, then fill bytes
            while ((c = next()) != EOF && c != 0xFF) {
            }
            while (c == 0xFF)
                c = next();
            marker = c;
        }
        c = marker;
        marker = kNone;
        if (c == EOF || c == 0xD9)
            break;
        if (c == 0x00 || c == 0x01 || isRestart(c))
            continue;  // no segment follows
        const int hi = next(), lo = next();
        if (hi == EOF || lo == EOF)
            break;
        const int length = hi << 8 | lo;
        if (length < 2 || std::fseek(file, length - 2, SEEK_CUR) != 0)
            break;
        if (c != 0xDA)
            continue;
        ++scans;
        // the scan's data, up to the marker that ends it
        while ((c = next()) != EOF) {
            if (c != 0xFF)
                continue;
            while (c == 0xFF)
                c = next();
            if (c == EOF || (c != 0x00 && !isRestart(c)))
                break;
        }
        if (c == EOF)
            break;
        marker = c;
    }
    std::fseek(file, start, SEEK_SET);
    return scans;
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
        return TooManyScansNotice();
    if (IsMemoryError(job.errors.code))
        return QStringLiteral("图片太大：解码需要的内存超过了 %1 MB 的上限")
            .arg(kJpegMemoryLimit / (1024 * 1024));
    if (job.errors.code == JERR_CONVERSION_NOTIMPL)
        return QStringLiteral("不支持这种 JPEG 颜色格式");
    return QStringLiteral("图片数据损坏，无法装入");
}

// The result once the decoder stopped, normally or on an error.
LoadedImage JpegOutcome(JpegJob &job, bool failed)
{
    LoadedImage out;
    // libjpeg reads no frame above 65500 pixels a side: too large, not unreadable
    if (!job.headerRead && job.errors.code == JERR_IMAGE_TOO_BIG)
        return Refused(TooLargeNotice(job.cinfo.image_width, job.cinfo.image_height));
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
            return Refused(kCutOffNotice);
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
        return Refused(kCutOffNotice);
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

}  // namespace

LoadedImage DecodeJpeg(const QString &path, int previewSide, int topRows)
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
    // libjpeg reads every scan of a multi-scan file before the first row,
    // each over the whole picture: the scans are counted before any is.
    if (job->multiScan && CountScans(job->file, kJpegMaxScans) > kJpegMaxScans)
        return Refused(TooManyScansNotice());

    jpeg_start_decompress(&cinfo);
    job->started = true;
    // A multi-scan file has been read whole by now; one that ended inside
    // its first scan has areas with no data at all.
    if (job->multiScan && job->errors.dataMissing && job->errors.endedInScan <= 1)
        return Refused(kCutOffNotice);
    if (cinfo.output_components != 3)
        return Refused(QStringLiteral("不支持这种 JPEG 颜色格式"));

    const JDIMENSION rows =
        topRows > 0 ? std::min<JDIMENSION>(topRows, cinfo.output_height) : cinfo.output_height;
    job->image =
        QImage(static_cast<int>(cinfo.output_width), static_cast<int>(rows), QImage::Format_RGB32);
    if (job->image.isNull())
        return Refused(kNoMemoryNotice);
    job->row.resize(static_cast<size_t>(cinfo.output_width) * 3);

    const int width = static_cast<int>(cinfo.output_width);
    while (job->rowsDone < job->image.height()) {
        JSAMPROW row[1] = {job->row.data()};
        if (jpeg_read_scanlines(&cinfo, row, 1) != 1)
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

}  // namespace korvex
