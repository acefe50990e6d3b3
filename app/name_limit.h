// The name fields of the capture and rename dialogs hold at most 15 GBK
// bytes (a Chinese character takes two). As in a length-limited edit field,
// the text already there is kept: a key typed into a full field is refused,
// and of a pasted text only as much as fits goes in, cut at a character
// boundary. A longer name set from a file can still be shortened.
#pragma once

#include <QString>

namespace korvex {

struct LimitedEdit {
    QString text;      // what the field should hold
    int cursor = 0;    // where the cursor goes: after what was kept of the insertion
    bool cut = false;  // false: `after` fits as it is
};

// Judges the edit that turned `before` into `after`.
LimitedEdit LimitEditToGbkBytes(const QString &before, const QString &after, int maxBytes);

}  // namespace korvex
