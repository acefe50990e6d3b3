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
QuestionHook &AskHook()
{
    static QuestionHook hook;
    return hook;
}
bool AnyHook()
{
    return Hook() || DetailHook() || AskHook();
}

QMessageBox::Icon BoxIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
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

void SetQuestionHook(QuestionHook hook)
{
    AskHook() = std::move(hook);
}

void ShowMessage(QWidget *owner, const QString &caption, const QString &text, MsgIcon icon,
                 const QString &detail)
{
    if (AnyHook()) {
        if (DetailHook())
            DetailHook()(detail);
        if (Hook())
            Hook()(owner, caption, text, icon);
        return;
    }
    QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Ok, owner);
    if (!detail.isEmpty())
        box.setDetailedText(detail);
    box.exec();
}

bool AskQuestion(QWidget *owner, const QString &caption, const QString &text)
{
    if (AnyHook())
        return AskHook() && AskHook()(owner, caption, text);
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace korvex
