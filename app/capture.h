// The capture dialog without its widgets: the working picture, the display
// picture, the width field, the placement of the image control and the
// sampling of row 0 into 2048 colours. TFormCut shows this state;
// `korvex-cli capture` drives it the same way, so both give the same
// colours for the same image, width and stretch setting.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <array>
#include <cstdint>
#include <optional>

#include "model/library.h"

namespace korvex {

constexpr int kCaptureWidthMin = 8;
constexpr int kCaptureWidthMax = 2048;
constexpr int kCaptureWidthStep = 16;
constexpr int kCaptureWidthStart = 256;
constexpr int kPictStartWidth = 461;
constexpr int kPictStartHeight = 58;
constexpr int kSampleCount = kColours;

using CaptureColours = PictureColours;

// A pixel as a library colour: 0x00BBGGRR with each channel's low four bits
// cleared.
uint32_t CaptureColour(QRgb pixel);

// Nearest-neighbour column choice when `sourceWidth` columns are drawn into
// `targetWidth`: target column t shows source column t * source / target
// (rounded down). Whole columns are repeated or dropped, never blended.
int ScaledColumn(int target, int targetWidth, int sourceWidth);

class CaptureModel {
public:
    CaptureModel();

    // Client size of the scroll box around the image control; the centring
    // places the control inside it. Until the first centring the control
    // stays at (0, 0), 461 x 58.
    void SetBoxClientSize(QSize size);

    // A load: `image` becomes the working picture (a null image for a file
    // that gave nothing), the display picture a copy of it; the control
    // takes the image's size (width at most 2048), the width field follows
    // and the control is centred.
    void Load(const QImage &image);

    // The width field: a value set into it is clamped to 8..2048; a change
    // of value runs the width change, which rounds up to a multiple of 16,
    // sets the control's width and centres it.
    void SetWidthField(int value);
    // One press of an arrow: `steps` times 16 up (or down when negative).
    void StepWidthField(int steps);
    int WidthField() const { return widthField_; }

    // The stretch check box: rebuilds the display picture from the working
    // picture and centres.
    void SetStretch(bool on);
    bool Stretch() const { return stretch_; }

    const QImage &Working() const { return working_; }
    // The display picture is the working picture plus black columns up to
    // DisplayWidth(); it has the working picture's height.
    int DisplayWidth() const { return displayWidth_; }
    int DisplayHeight() const { return working_.height(); }
    QRgb DisplayPixel(int x, int y) const;

    // The image control: its place in the box (top may be negative when the
    // image is taller than the box) and its size.
    QRect PictRect() const { return pict_; }

    // What the image control shows inside `area` (control coordinates):
    // `*at` receives where the returned picture goes; a null picture when
    // nothing shows there. Stretching scales the display picture to the
    // control's size with ScaledColumn across and unchanged rows down.
    QImage RenderPict(const QRect &area, QPoint *at) const;

    // The sampling source's size: the display picture with stretching off,
    // the width field by the working picture's height with it on.
    QSize SourceSize() const;
    // Colour i = source pixel (i mod source width, 0) as CaptureColour.
    // Returns false and leaves `out` alone when the source is empty.
    bool Sample(CaptureColours &out) const;

private:
    void WidthChange();
    void Centre();
    QRgb SourcePixel(int x) const;  // row 0 of the sampling source

    QImage working_;
    int displayWidth_ = 0;
    QRect pict_{0, 0, kPictStartWidth, kPictStartHeight};
    QSize box_{kPictStartWidth, kPictStartHeight};
    int widthField_ = kCaptureWidthStart;
    bool stretch_ = false;
};

// The whole capture in one call, as the dialog gives it: load `image`, set
// the width field to `width` when given, the stretch box to `stretch`, and
// sample. False when there is nothing to sample.
bool CaptureImage(const QImage &image, std::optional<int> width, bool stretch, CaptureColours &out);

}  // namespace korvex
