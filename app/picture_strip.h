// The preview strips: the picture page's shows a picture's first colours
// as columns, the pattern dialog's a whole row scaled to its width.
#pragma once

#include <QImage>

#include "model/library.h"

namespace korvex {

// A width x height image whose column x shows colour x of the picture
// (library colours are 0x00BBGGRR).
QImage PictureStrip(const PictureRecord &picture, int width, int height);

// A width x height image of all 2048 colours: column x shows the mean of
// the colours it covers, so a fine pattern looks as it does from afar.
QImage PictureRow(const PictureColours &colours, int width, int height);

}  // namespace korvex
