// The preview strip of the picture page: a picture's first colours drawn
// as columns.
#pragma once

#include <QImage>

#include "model/library.h"

namespace korvex {

// A width x height image whose column x shows colour x of the picture
// (library colours are 0x00BBGGRR).
QImage PictureStrip(const PictureRecord &picture, int width, int height);

}  // namespace korvex
