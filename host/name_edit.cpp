// Name fields limited in GBK bytes.
#include "host/name_edit.h"

#include <QLineEdit>
#include <memory>

#include "app/gbk_text.h"
#include "app/name_limit.h"

namespace korvex {

void LimitToGbkBytes(QLineEdit *edit, int maxBytes)
{
    // The field's text before the latest edit, shared by both handlers.
    const auto last = std::make_shared<QString>(edit->text());
    QObject::connect(edit, &QLineEdit::textEdited, edit,
                     [edit, last, maxBytes](const QString &text) {
                         const LimitedEdit limited = LimitEditToGbkBytes(*last, text, maxBytes);
                         *last = limited.text;
                         if (!limited.cut)
                             return;
                         edit->setText(*last);
                         edit->setCursorPosition(limited.cursor);
                     });
    QObject::connect(edit, &QLineEdit::textChanged, edit, [last, maxBytes](const QString &text) {
        if (GbkLength(text.toStdString()) <= maxBytes)
            *last = text;
    });
}

}  // namespace korvex
