#include "app/name_limit.h"

#include <algorithm>

#include "app/gbk_text.h"

namespace korvex {

LimitedEdit LimitEditToGbkBytes(const QString &before, const QString &after, int maxBytes)
{
    LimitedEdit out;
    out.text = after;
    out.cursor = static_cast<int>(after.size());
    if (GbkLength(after.toStdString()) <= maxBytes)
        return out;

    // The edit as head + inserted + tail, against the text before it; a
    // surrogate pair is never split between the parts.
    const int common = static_cast<int>(std::min(after.size(), before.size()));
    int prefix = 0;
    while (prefix < common && after[prefix] == before[prefix])
        ++prefix;
    if (prefix > 0 && after[prefix - 1].isHighSurrogate())
        --prefix;
    int suffix = 0;
    while (suffix < common - prefix &&
           after[after.size() - 1 - suffix] == before[before.size() - 1 - suffix])
        ++suffix;
    if (suffix > 0 && after[after.size() - suffix].isLowSurrogate())
        --suffix;
    const QString head = after.left(prefix);
    const QString tail = after.right(suffix);
    const QString inserted = after.mid(prefix, after.size() - prefix - suffix);
    const int room = std::max(0, maxBytes - GbkLength((head + tail).toStdString()));
    const QString fits = QString::fromStdString(TruncateToGbkBytes(inserted.toStdString(), room));
    out.text = head + fits + tail;
    out.cursor = static_cast<int>(head.size() + fits.size());
    out.cut = true;
    return out;
}

}  // namespace korvex
