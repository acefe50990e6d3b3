// The rename dialog, driven as a modal dialog with queued key presses.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include "host/FrmRename.h"
#include "host/gbk_text.h"

namespace korvex::test {
namespace {

// Runs `act` on the dialog once it is modal; closes it after a bound if
// `act` did not.
int RunRename(TFormRename &dialog, const std::function<void(TFormRename &)> &act)
{
    QTimer::singleShot(0, [&] {
        if (QApplication::activeModalWidget() == &dialog)
            act(dialog);
    });
    QTimer::singleShot(5000, &dialog, [&] { dialog.done(99); });
    return dialog.exec();
}

void Type(QWidget *w, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
    }
}

void Backspace(QWidget *w, int n)
{
    for (int i = 0; i < n; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
        QApplication::sendEvent(w, &press);
    }
}

TEST(RenameDialog, ShowsTheNameAndReturns2ForTheSameText)
{
    TFormRename dialog;
    dialog.name = QStringLiteral("abc");
    QString shown;
    const int result = RunRename(dialog, [&](TFormRename &d) {
        shown = d.sName->text();
        Backspace(d.sName, 1);
        Type(d.sName, QStringLiteral("c"));  // edited back to the same text
        d.BtnOK->click();
    });
    EXPECT_EQ(shown, QStringLiteral("abc"));
    EXPECT_EQ(result, 2);
    EXPECT_EQ(dialog.name, QStringLiteral("abc"));
}

TEST(RenameDialog, ReturnsAChangedNameEvenAnEmptyOne)
{
    TFormRename dialog;
    dialog.name = QStringLiteral("abc");
    EXPECT_EQ(RunRename(dialog, [](TFormRename &d) {
                  Type(d.sName, QStringLiteral("d"));
                  d.BtnOK->click();
              }),
              1);
    EXPECT_EQ(dialog.name, QStringLiteral("abcd"));

    TFormRename empty;
    empty.name = QStringLiteral("abc");
    EXPECT_EQ(RunRename(empty, [](TFormRename &d) {
                  Backspace(d.sName, 3);
                  d.BtnOK->click();
              }),
              1);
    EXPECT_EQ(empty.name, QString());
}

TEST(RenameDialog, ClosingItReturns2AndKeepsTheName)
{
    TFormRename dialog;
    dialog.name = QStringLiteral("abc");
    EXPECT_EQ(RunRename(dialog, [](TFormRename &d) {
                  Type(d.sName, QStringLiteral("zzz"));
                  d.close();
              }),
              2);
    EXPECT_EQ(dialog.name, QStringLiteral("abc"));
}

TEST(RenameDialog, TypingStopsAt15GbkBytes)
{
    TFormRename dialog;
    QString typed;
    RunRename(dialog, [&](TFormRename &d) {
        Type(d.sName, QStringLiteral("一二三四五六七八"));  // 16 bytes
        typed = d.sName->text();
        d.BtnOK->click();
    });
    EXPECT_EQ(typed, QStringLiteral("一二三四五六七"));
    EXPECT_EQ(GbkLength(typed.toStdString()), 14);

    TFormRename ascii;
    RunRename(ascii, [&](TFormRename &d) {
        Type(d.sName, QStringLiteral("0123456789abcdefgh"));
        typed = d.sName->text();
        d.BtnOK->click();
    });
    EXPECT_EQ(typed, QStringLiteral("0123456789abcde"));
}

} // namespace
} // namespace korvex::test
