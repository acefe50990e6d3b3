// The program's font: 宋体 as the desktop program was drawn with, then the
// CJK fonts a Linux machine has in its place (scripts/deps.sh installs
// WenQuanYi Zen Hei), last Microsoft YaHei UI, the Chinese UI font every
// Windows has, for a Windows without SimSun (optional outside Chinese
// editions).
#pragma once

#include <QFont>

namespace korvex {

QFont ProgramFont(int pixelSize);

}  // namespace korvex
