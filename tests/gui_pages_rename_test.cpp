// The rename dialog, driven as a modal dialog with queued key presses; and
// the names every way in takes: the dialogs, korvex-cli and the show import.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "app/gbk_text.h"
#include "app/show_files.h"
#include "host/FrmCut.h"
#include "host/FrmPattern.h"
#include "host/FrmRename.h"
#include "model/library_file.h"

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

// The three dialogs' name fields (given the name as a paste), korvex-cli
// rename and the show import take and refuse the same names, and the two
// that say why say it alike.
TEST(PictureNames, DialogsCliAndImportTakeTheSameNames)
{
    const char *const tooLong = "the name takes 16 bytes in GBK; at most 15 are allowed";
    const struct {
        const char *name;
        const char *refusal;  // null: taken
    } rows[] = {
        {"abcdefghijklmno", nullptr},  // 15 bytes
        {"abcdefghijklmnop", tooLong},
        {"一二三四五六七a", nullptr},  // 15 bytes
        {"一二三四五六七八", tooLong},
        {"a\xF0\x9F\x98\x80", "the name holds characters the GBK code page cannot store"},
        {"", nullptr},
    };
    QTemporaryDir dir;
    const QString library = dir.filePath(QStringLiteral("lib.Dat"));
    auto data = std::make_unique<LibraryData>();
    data->pictureCount = 1;
    StoreName(data->pictures[0], "old");
    std::string error;
    ASSERT_TRUE(SaveLibraryFile(library.toStdString(), *data, error)) << error;
    QImage picture(16, 1, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(dir.filePath(QStringLiteral("a.png"))));

    TFormCut cut(nullptr);
    TFormRename rename;
    TFormPattern pattern(nullptr, kColours);
    for (const auto &row : rows) {
        const QString name = QString::fromUtf8(row.name);
        for (QLineEdit *field : {cut.sPictName, rename.sName, pattern.sPictName}) {
            field->clear();
            field->insert(name);
            EXPECT_EQ(field->text() == name, !row.refusal)
                << row.name << " in " << field->window()->metaObject()->className();
        }

        QProcess cli;
        cli.start(QString::fromUtf8(KORVEX_CLI), {QStringLiteral("rename"), QStringLiteral("1"),
                                                  name, QStringLiteral("--library"), library});
        ASSERT_TRUE(cli.waitForFinished(60000));
        EXPECT_EQ(cli.exitCode(), row.refusal ? 2 : 0) << row.name;
        if (row.refusal) {
            EXPECT_TRUE(cli.readAllStandardError().contains(row.refusal)) << row.name;
        }

        QFile json(dir.filePath(QString::fromLatin1(kShowFileName)));
        ASSERT_TRUE(json.open(QIODevice::WriteOnly));
        json.write(R"({"format": "korvex-show", "version": 1, "program": [],)"
                   R"( "pictures": [{"file": "a.png", "name": ")" +
                   QByteArray(row.name) + R"("}]})");
        json.close();
        auto imported = std::make_unique<LibraryDocument>(GbkToUtf8);
        QString why;
        EXPECT_EQ(ReadShowFolder(dir.path(), *imported, why), !row.refusal) << row.name;
        if (row.refusal) {
            EXPECT_TRUE(why.contains(QString::fromUtf8(row.refusal))) << why.toStdString();
        } else {
            EXPECT_EQ(imported->PictureName(0), row.name);
        }
    }
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
