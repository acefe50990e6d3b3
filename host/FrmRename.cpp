#include "host/FrmRename.h"

#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include "host/name_edit.h"

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
    LimitToPictureName(sName);

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

}  // namespace korvex
