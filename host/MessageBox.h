// Every message box of the program goes through ShowMessage, so tests can
// replace the modal box by a recorder and read what the operator would see.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace korvex {

enum class MsgIcon { None, Error };

// Shows a modal box with one OK button, owned by `owner`.
void ShowMessage(QWidget *owner, const QString &caption, const QString &text, MsgIcon icon);

// Replaces the box (tests); an empty function restores the real box.
using MessageHook =
    std::function<void(QWidget *owner, const QString &caption, const QString &text, MsgIcon icon)>;
void SetMessageHook(MessageHook hook);

}  // namespace korvex
