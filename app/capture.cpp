#include "app/capture.h"

#include <algorithm>
#include <cstring>

#include "model/colour.h"

namespace korvex {

namespace {
constexpr QRgb kBlack = 0xff000000u;
}

uint32_t CaptureColour(QRgb pixel)
{
    return PackColour(unsigned(qRed(pixel)), unsigned(qGreen(pixel)), unsigned(qBlue(pixel))) &
           kShownColourBits;
}

int ScaledColumn(int target, int targetWidth, int sourceWidth)
{
    if (targetWidth <= 0 || sourceWidth <= 0)
        return 0;
    return static_cast<int>(static_cast<int64_t>(target) * sourceWidth / targetWidth);
}

CaptureModel::CaptureModel() = default;

void CaptureModel::SetBoxClientSize(QSize size)
{
    box_ = size;  // used by the next centring; the control stays where it is
}

void CaptureModel::Load(const QImage &image)
{
    working_ = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_RGB32);
    displayWidth_ = working_.width();
    pict_.setWidth(std::min(working_.width(), kCaptureWidthMax));
    pict_.setHeight(working_.height());
    SetWidthField(pict_.width());
    Centre();
}

void CaptureModel::SetWidthField(int value)
{
    value = std::clamp(value, kCaptureWidthMin, kCaptureWidthMax);
    if (value == widthField_)
        return;  // the field reports changes only
    widthField_ = value;
    WidthChange();
}

void CaptureModel::StepWidthField(int steps)
{
    // Done in 64 bits so a silly step count cannot overflow before the clamp.
    const int64_t v =
        static_cast<int64_t>(widthField_) + static_cast<int64_t>(steps) * kCaptureWidthStep;
    SetWidthField(static_cast<int>(std::clamp<int64_t>(v, kCaptureWidthMin, kCaptureWidthMax)));
}

void CaptureModel::WidthChange()
{
    if (widthField_ % kCaptureWidthStep != 0)
        SetWidthField((widthField_ / kCaptureWidthStep + 1) * kCaptureWidthStep);
    pict_.setWidth(widthField_);
    Centre();
}

void CaptureModel::SetStretch(bool on)
{
    if (on == stretch_)
        return;  // the box was not toggled
    stretch_ = on;
    displayWidth_ = working_.width();  // a fresh copy: the black columns go
    Centre();
}

void CaptureModel::Centre()
{
    const int top = (box_.height() - pict_.height()) / 2;
    const int left = box_.width() < pict_.width() ? 0 : (box_.width() - pict_.width()) / 2;
    pict_.moveTo(left, top);
    // Widen only: a narrower control just shows the left part.
    if (!stretch_ && displayWidth_ < pict_.width())
        displayWidth_ = pict_.width();
}

QRgb CaptureModel::DisplayPixel(int x, int y) const
{
    if (x >= 0 && y >= 0 && x < working_.width() && y < working_.height())
        return working_.pixel(x, y) | kBlack;
    return kBlack;
}

QImage CaptureModel::RenderPict(const QRect &area, QPoint *at) const
{
    const int rows = working_.height();
    const QRect control(0, 0, pict_.width(), pict_.height());
    QRect shown = area & control & QRect(0, 0, stretch_ ? pict_.width() : displayWidth_, rows);
    if (shown.isEmpty() || working_.isNull())
        return {};
    if (at)
        *at = shown.topLeft();

    QImage out(shown.size(), QImage::Format_RGB32);
    if (out.isNull())
        return out;
    out.fill(kBlack);
    const int srcWidth = working_.width();
    for (int y = 0; y < shown.height(); ++y) {
        const auto *src = reinterpret_cast<const QRgb *>(working_.constScanLine(shown.top() + y));
        auto *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
        if (stretch_) {
            for (int x = 0; x < shown.width(); ++x)
                dst[x] = src[ScaledColumn(shown.left() + x, pict_.width(), srcWidth)];
        } else {
            const int copyEnd = std::min(shown.right() + 1, srcWidth);
            if (copyEnd > shown.left())
                std::memcpy(dst, src + shown.left(),
                            static_cast<size_t>(copyEnd - shown.left()) * sizeof(QRgb));
        }
    }
    return out;
}

QSize CaptureModel::SourceSize() const
{
    if (working_.isNull())
        return {0, 0};
    return {stretch_ ? widthField_ : displayWidth_, working_.height()};
}

QRgb CaptureModel::SourcePixel(int x) const
{
    if (stretch_)
        return working_.pixel(ScaledColumn(x, widthField_, working_.width()), 0);
    return DisplayPixel(x, 0);
}

bool CaptureModel::Sample(CaptureColours &out) const
{
    const QSize source = SourceSize();
    if (source.width() <= 0 || source.height() <= 0)
        return false;
    for (int i = 0; i < kSampleCount; ++i)
        out[static_cast<size_t>(i)] = CaptureColour(SourcePixel(i % source.width()));
    return true;
}

bool CaptureImage(const QImage &image, std::optional<int> width, bool stretch, CaptureColours &out)
{
    CaptureModel model;
    model.Load(image);
    if (width)
        model.SetWidthField(*width);
    if (stretch)
        model.SetStretch(true);
    return model.Sample(out);
}

}  // namespace korvex
