#include "host/MessageBox.h"

#include <QMessageBox>

namespace korvex {

namespace {
MessageHook &Hook()
{
    static MessageHook hook;
    return hook;
}
}  // namespace

void SetMessageHook(MessageHook hook)
{
    Hook() = std::move(hook);
}

void ShowMessage(QWidget *owner, const QString &caption, const QString &text, MsgIcon icon)
{
    if (Hook()) {
        Hook()(owner, caption, text, icon);
        return;
    }
    QMessageBox box(icon == MsgIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon, caption,
                    text, QMessageBox::Ok, owner);
    box.exec();
}

}  // namespace korvex
