#include "host/MessageBox.h"

#include <QMessageBox>

namespace korvex {

namespace {
MessageHook &Hook()
{
    static MessageHook hook;
    return hook;
}
MessageDetailHook &DetailHook()
{
    static MessageDetailHook hook;
    return hook;
}
}  // namespace

void SetMessageHook(MessageHook hook)
{
    Hook() = std::move(hook);
}

void SetMessageDetailHook(MessageDetailHook hook)
{
    DetailHook() = std::move(hook);
}

void ShowMessage(QWidget *owner, const QString &caption, const QString &text, MsgIcon icon,
                 const QString &detail)
{
    if (Hook() || DetailHook()) {
        if (DetailHook())
            DetailHook()(detail);
        if (Hook())
            Hook()(owner, caption, text, icon);
        return;
    }
    QMessageBox box(icon == MsgIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon, caption,
                    text, QMessageBox::Ok, owner);
    if (!detail.isEmpty())
        box.setDetailedText(detail);
    box.exec();
}

}  // namespace korvex
