// The capture dialog's open-file filter: the formats app/image_load reads,
// written as pairs of name and patterns, and their form for a Qt file
// dialog.
#pragma once

#include <QString>
#include <QStringList>

namespace korvex {

// The open-picture dialog's choices, as pairs "name|patterns|name|..." with
// patterns separated by ";".
inline constexpr const char *kOpenPictureFilter =
    "All(*.jpg;*.jpeg;*.bmp;*.png)|*.jpg;*.jpeg;*.bmp;*.png|JPEG Image File (*.jpg)|*.jpg|"
    "JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp|PNG Image File (*.png)|*.png";

// Such a filter in the form a Qt file dialog takes: one entry per pair, the
// visible name kept with its patterns (blank-separated) in parentheses:
// "All(*.jpg *.jpeg *.bmp)", "JPEG Image File (*.jpg)", ...
QStringList QtNameFilters(const QString &pipeFilter);

}  // namespace korvex
