// The program's font and its fallbacks.
#include "app/program_font.h"

#include <QStringList>

namespace korvex {

QFont ProgramFont(int pixelSize)
{
    QFont f;
    f.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                   QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC"),
                   QStringLiteral("Microsoft YaHei UI"), QStringLiteral("Microsoft YaHei")});
    f.setPixelSize(pixelSize);
    return f;
}

}  // namespace korvex
