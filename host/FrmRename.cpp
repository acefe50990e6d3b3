#include "host/FrmRename.h"

#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <algorithm>

#include "app/gbk_text.h"
#include "app/name_limit.h"
#include "model/library.h"

namespace korvex {

TFormRename::TFormRename(QWidget *owner) : QDialog(owner)
{
    setWindowTitle(QStringLiteral("改 名"));
    // Dialog border: not resizable, a close box and nothing else.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(168, 89);

    sName = new QLineEdit(this);
    sName->setObjectName(QStringLiteral("sName"));
    sName->setGeometry(36, 16, 101, 20);
    connect(sName, &QLineEdit::textEdited, this, &TFormRename::LimitToNameBytes);
    // Whatever the field ends up holding is what the next edit is judged
    // against (read back from the field: the change signal may still carry
    // an edit that was cut).
    connect(sName, &QLineEdit::textChanged, this, [this] { shown_ = sName->text(); });

    BtnOK = new QPushButton(QStringLiteral("确  定"), this);
    BtnOK->setObjectName(QStringLiteral("BtnOK"));
    BtnOK->setGeometry(52, 52, 75, 25);
    BtnOK->setDefault(true);
    connect(BtnOK, &QPushButton::clicked, this, &TFormRename::BtnOKClick);
}

TFormRename::~TFormRename() = default;

void TFormRename::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TFormRename::FormShow()
{
    sName->setText(name);
}

void TFormRename::BtnOKClick()
{
    // QString equality compares every code unit, so this is exact.
    const QString text = sName->text();
    if (text != name) {
        name = text;
        done(1);
    } else {
        done(2);
    }
}

void TFormRename::reject()
{
    done(2);
}

void TFormRename::LimitToNameBytes(const QString &text)
{
    const LimitedEdit edit = LimitEditToGbkBytes(shown_, text, kNameTyped);
    if (!edit.cut)
        return;
    sName->setText(edit.text);
    sName->setCursorPosition(edit.cursor);
}

}  // namespace korvex
