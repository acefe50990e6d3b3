// The program's font: 宋体 as the desktop program was drawn with, then the
// CJK fonts a Linux machine has in its place (scripts/deps.sh installs
// WenQuanYi Zen Hei).
#pragma once

#include <QFont>

namespace korvex {

QFont ProgramFont(int pixelSize);

}  // namespace korvex
