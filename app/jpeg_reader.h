// Decoding JPEG files through libjpeg, under the bounds of image_load.h:
// no picture above kMaxImagePixels, at most kJpegMemoryLimit bytes of
// libjpeg's own buffers, at most kJpegMaxScans scans. A damaged or cut-off
// file keeps what was decoded where that is a whole picture at some
// quality (LoadImageFile says which).
#pragma once

#include <QString>

#include "app/image_load.h"

namespace korvex {

// Decodes a JPEG into RGB32. `previewSide` 0 decodes at scale 1/1;
// otherwise libjpeg scales down by up to 8 while both sides stay at least
// `previewSide` pixels. `topRows` > 0 decodes only the first rows (a
// multi-scan file is still read whole, since every scan refines every row,
// but only those rows go through the final transform).
LoadedImage DecodeJpeg(const QString &path, int previewSide, int topRows);

}  // namespace korvex
