// The rename dialog, driven as a modal dialog with queued key presses.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include "host/FrmRename.h"
#include "app/gbk_text.h"

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
    EXPECT_EQ(RunRename(dialog,
                        [](TFormRename &d) {
                            Type(d.sName, QStringLiteral("d"));
                            d.BtnOK->click();
                        }),
              1);
    EXPECT_EQ(dialog.name, QStringLiteral("abcd"));

    TFormRename empty;
    empty.name = QStringLiteral("abc");
    EXPECT_EQ(RunRename(empty,
                        [](TFormRename &d) {
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
    EXPECT_EQ(RunRename(dialog,
                        [](TFormRename &d) {
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

// A full field keeps its text: a key typed anywhere is refused, and a paste
// goes in only as far as it fits.
TEST(RenameDialog, AFullFieldKeepsItsTextWhereverTheOperatorTypes)
{
    TFormRename dialog;
    dialog.name = QStringLiteral("abcdefghijklmno");  // 15 bytes
    QString typed, pasted;
    int cursor = -1;
    RunRename(dialog, [&](TFormRename &d) {
        d.sName->setCursorPosition(0);
        Type(d.sName, QStringLiteral("X"));
        typed = d.sName->text();
        d.sName->setCursorPosition(15);
        Backspace(d.sName, 3);  // "abcdefghijkl", 12 bytes
        d.sName->setCursorPosition(2);
        d.sName->insert(QStringLiteral("一XY"));  // room for 3 bytes
        pasted = d.sName->text();
        cursor = d.sName->cursorPosition();
        d.BtnOK->click();
    });
    EXPECT_EQ(typed, QStringLiteral("abcdefghijklmno"));
    EXPECT_EQ(pasted, QStringLiteral("ab一Xcdefghijkl"));
    EXPECT_EQ(cursor, 4);
    EXPECT_EQ(dialog.name, QStringLiteral("ab一Xcdefghijkl"));
}

// A name of 18 bytes from a library file shows whole and can be shortened,
// but takes nothing more until it fits.
TEST(RenameDialog, ALongerStoredNameCanBeShortenedButNotLengthened)
{
    TFormRename dialog;
    dialog.name = QStringLiteral("一二三四五六七八九");  // 18 bytes
    QString shown, afterType, afterDelete;
    RunRename(dialog, [&](TFormRename &d) {
        shown = d.sName->text();
        Type(d.sName, QStringLiteral("x"));
        afterType = d.sName->text();
        Backspace(d.sName, 1);
        afterDelete = d.sName->text();
        d.BtnOK->click();
    });
    EXPECT_EQ(shown, QStringLiteral("一二三四五六七八九"));
    EXPECT_EQ(afterType, QStringLiteral("一二三四五六七八九"));
    EXPECT_EQ(afterDelete, QStringLiteral("一二三四五六七八"));
    EXPECT_EQ(dialog.name, QStringLiteral("一二三四五六七八"));
}

}  // namespace
}  // namespace korvex::test
