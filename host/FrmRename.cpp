#include "host/FrmRename.h"

#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <algorithm>

#include "host/gbk_text.h"
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

// Typed names hold at most 15 GBK bytes (a Chinese character takes two).
// As in a length-limited edit field, the text already there is kept: a key
// typed into a full field is refused, and of a pasted text only as much as
// fits goes in, cut at a character boundary. A longer name set from a file
// can still be shortened.
void TFormRename::LimitToNameBytes(const QString &text)
{
    if (GbkLength(text.toStdString()) <= kNameTyped)
        return;
    // The edit as head + inserted + tail, against the text before it.
    const int common = static_cast<int>(std::min(text.size(), shown_.size()));
    int prefix = 0;
    while (prefix < common && text[prefix] == shown_[prefix])
        ++prefix;
    if (prefix > 0 && text[prefix - 1].isHighSurrogate())
        --prefix;
    int suffix = 0;
    while (suffix < common - prefix && text[text.size() - 1 - suffix] == shown_[shown_.size() - 1 - suffix])
        ++suffix;
    if (suffix > 0 && text[text.size() - suffix].isLowSurrogate())
        --suffix;
    const QString head = text.left(prefix);
    const QString tail = text.right(suffix);
    const QString inserted = text.mid(prefix, text.size() - prefix - suffix);
    const int room = std::max(0, kNameTyped - GbkLength((head + tail).toStdString()));
    const QString fits = QString::fromStdString(TruncateToGbkBytes(inserted.toStdString(), room));
    sName->setText(head + fits + tail);
    sName->setCursorPosition(static_cast<int>(head.size() + fits.size()));
}

} // namespace korvex
