// The name fields of the dialogs: at most so many bytes in GBK, whatever
// is typed or pasted.
#pragma once

class QLineEdit;

namespace korvex {

// Keeps `edit` within `maxBytes` GBK bytes: an edit that would go past the
// limit is cut back (app/name_limit.h judges it against the text before
// it), and any text within the limit, typed or set, is what the next edit
// is judged against.
void LimitToGbkBytes(QLineEdit *edit, int maxBytes);

}  // namespace korvex
