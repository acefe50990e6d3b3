// The one judgement of a picture's name, for the dialogs, korvex-cli and
// the show import.
#include "app/picture_name.h"

#include <algorithm>

#include "app/gbk_text.h"
#include "model/library.h"

namespace korvex {

namespace {

bool Taken(const QString &name)
{
    return JudgePictureName(name.toStdString()).fault == NameFault::None;
}

}  // namespace

NameVerdict JudgePictureName(const std::string &utf8)
{
    NameVerdict verdict;
    verdict.gbk = Utf8ToGbk(utf8);
    if (GbkToUtf8(verdict.gbk) != utf8)
        verdict.fault = NameFault::NotGbk;
    else if (static_cast<int>(verdict.gbk.size()) > kNameTyped)
        verdict.fault = NameFault::TooLong;
    return verdict;
}

std::string NameFaultText(const NameVerdict &verdict)
{
    switch (verdict.fault) {
    case NameFault::None: break;
    case NameFault::NotGbk: return "the name holds characters the GBK code page cannot store";
    case NameFault::TooLong:
        return "the name takes " + std::to_string(verdict.gbk.size()) + " bytes in GBK; at most " +
               std::to_string(kNameTyped) + " are allowed";
    }
    return {};
}

LimitedEdit LimitNameEdit(const QString &before, const QString &after)
{
    LimitedEdit out;
    out.text = after;
    out.cursor = static_cast<int>(after.size());
    if (Taken(after))
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
    // Whole characters of the insertion while the name is still taken; a
    // taken name is at most 15 characters, so this stops early however much
    // was pasted.
    QString fits;
    for (qsizetype k = 0; k < inserted.size();) {
        const qsizetype length = inserted[k].isHighSurrogate() && k + 1 < inserted.size() ? 2 : 1;
        const QString more = fits + inserted.mid(k, length);
        if (!Taken(head + more + tail))
            break;
        fits = more;
        k += length;
    }
    out.text = head + fits + tail;
    out.cursor = static_cast<int>(head.size() + fits.size());
    out.cut = true;
    return out;
}

}  // namespace korvex
