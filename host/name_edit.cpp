// Name fields limited to the names a picture may have.
#include "host/name_edit.h"

#include <QLineEdit>
#include <memory>

#include "app/picture_name.h"

namespace korvex {

void LimitToPictureName(QLineEdit *edit)
{
    // The field's text before the latest edit, shared by both handlers.
    const auto last = std::make_shared<QString>(edit->text());
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit, last](const QString &text) {
        const LimitedEdit limited = LimitNameEdit(*last, text);
        if (!limited.cut)
            return;
        edit->setText(limited.text);
        edit->setCursorPosition(limited.cursor);
    });
    // Read back from the field: the change signal may still carry an edit
    // that was cut.
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit, last] { *last = edit->text(); });
}

}  // namespace korvex
