// Every message box of the program goes through ShowMessage or AskQuestion,
// so tests can replace the modal box by a recorder and read what the
// operator would see.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace korvex {

enum class MsgIcon { None, Error, Warning };

// Shows a modal box with one OK button, owned by `owner`. A non-empty
// `detail` goes into the box's detailed text, shown on request.
void ShowMessage(QWidget *owner, const QString &caption, const QString &text, MsgIcon icon,
                 const QString &detail = QString());

// Asks a Yes/No question in a modal box owned by `owner`; true for Yes.
// No is the default button: every question asks leave to throw work away.
bool AskQuestion(QWidget *owner, const QString &caption, const QString &text);

// Replaces the box (tests); an empty function restores the real box.
using MessageHook =
    std::function<void(QWidget *owner, const QString &caption, const QString &text, MsgIcon icon)>;
void SetMessageHook(MessageHook hook);
// Also told every box's detailed text (empty when it has none), just
// before the message hook; while either hook is set no real box is shown.
using MessageDetailHook = std::function<void(const QString &detail)>;
void SetMessageDetailHook(MessageDetailHook hook);
// Replaces the question box (tests); returns the answer, true for Yes. While
// any of the three hooks is set no real box is shown, and a question without
// its own hook is answered No.
using QuestionHook =
    std::function<bool(QWidget *owner, const QString &caption, const QString &text)>;
void SetQuestionHook(QuestionHook hook);

}  // namespace korvex
