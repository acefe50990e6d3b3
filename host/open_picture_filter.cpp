#include "host/open_picture_filter.h"

namespace korvex {

QStringList QtNameFilters(const QString &pipeFilter)
{
    QStringList out;
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        QString label = parts[i];
        const int open = label.lastIndexOf(QLatin1Char('('));
        if (open >= 0 && label.endsWith(QLatin1Char(')')))
            label = label.left(open + 1) + patterns + QLatin1Char(')');
        else
            label += QStringLiteral(" (") + patterns + QLatin1Char(')');
        out << label;
    }
    return out;
}

}  // namespace korvex
