// A picture of a library: one line per picture, its label as the lists show
// it and a strip of its colours, then the program, one line per listed
// step with its label, value and its picture's strip. korvex-cli render
// writes it as a PNG, so a library can be looked at without the window.
#pragma once

#include <QImage>

#include "model/library_document.h"

namespace korvex {

// Drawing the labels needs a QGuiApplication (any platform, offscreen
// included). Each strip is `pixels` wide (colours 0..pixels-1, 1..2048)
// and at least 6 high; a null image when the sheet cannot be allocated.
QImage LibrarySheet(const LibraryDocument &doc, int pixels);

}  // namespace korvex
