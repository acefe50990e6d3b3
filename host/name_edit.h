// The name fields of the dialogs: only what a picture's name may be, however
// it is typed or pasted.
#pragma once

class QLineEdit;

namespace korvex {

// Keeps `edit` to names that app/picture_name.h takes: an edit that would
// make the name one it refuses is cut back (LimitNameEdit judges it against
// the text before it), and whatever the field ends up holding, typed or
// set, is what the next edit is judged against.
void LimitToPictureName(QLineEdit *edit);

}  // namespace korvex
