// The capture dialog, headless: its controls, the width field's arrows,
// the name checks, loading through the file seam, cancelling, and that
// the dialog gives exactly what the widget-free capture gives.
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <vector>

#include "host/FrmCut.h"
#include "host/MessageBox.h"
#include "host/open_picture_filter.h"
#include "app/image_load.h"
#include "tests/support/capture_images.h"

namespace korvex {
namespace {

using namespace korvex::test;

struct Shown {
    QWidget *owner;
    QString caption, text;
    MsgIcon icon;
};

const QString kCaption = QStringLiteral("截取图形");
const QString kNoName = QStringLiteral("        请给图形命名!        ");

class CutDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        SetMessageHook([this](QWidget *owner, const QString &c, const QString &t, MsgIcon i) {
            shown.push_back({owner, c, t, i});
        });
        form = std::make_unique<TFormCut>(&owner_);
        form->chooseFile = [this] {
            ++chooserRuns;
            return nextFile;
        };
    }
    void TearDown() override
    {
        form.reset();
        SetMessageHook(nullptr);
    }

    QString Bmp(const QString &name, const QImage &img)
    {
        const QString path = dir_.filePath(name);
        EXPECT_TRUE(img.save(path, "BMP"));
        return path;
    }
    void LoadFile(const QString &path)
    {
        nextFile = path;
        form->BtnLoad->click();
    }
    // Types text into the name field as key presses.
    void Type(const QString &text)
    {
        for (const QChar ch : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(form->sPictName, &press);
        }
    }

    QTemporaryDir dir_;
    QWidget owner_;
    std::unique_ptr<TFormCut> form;
    std::vector<Shown> shown;
    QString nextFile;
    int chooserRuns = 0;
};

TEST_F(CutDialogTest, WindowAndControls)
{
    EXPECT_EQ(form->windowTitle(), kCaption);
    EXPECT_EQ(form->size(), QSize(473, 123));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_TRUE(form->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);

    EXPECT_EQ(form->BtnLoad->text(), QStringLiteral("装入图片"));
    EXPECT_EQ(form->bStretch->text(), QStringLiteral("缩放"));
    EXPECT_FALSE(form->bStretch->isChecked());
    EXPECT_EQ(form->Label2->text(), QStringLiteral("图形宽度"));
    EXPECT_EQ(form->Label1->text(), QStringLiteral("命名"));
    EXPECT_EQ(form->BtnSave->text(), QStringLiteral("保    存"));
    EXPECT_EQ(form->Panel1->height(), 34);
    EXPECT_EQ(form->Panel1->geometry().bottom(), 122);
    EXPECT_EQ(form->PictPanel->palette().color(QPalette::Window), QColor(Qt::black));

    EXPECT_EQ(form->vWidth->minimum(), 8);
    EXPECT_EQ(form->vWidth->maximum(), 2048);
    EXPECT_EQ(form->vWidth->singleStep(), 16);
    EXPECT_EQ(form->vWidth->value(), 256);
    EXPECT_EQ(form->Pict->geometry(), QRect(0, 0, 461, 58));
    EXPECT_FALSE(form->Pict->hasScaledContents());
    EXPECT_EQ(form->Pict->parentWidget(), form->Box->widget());
}

TEST_F(CutDialogTest, WidthFieldTakesArrowsButNoTyping)
{
    auto *edit = form->vWidth->findChild<QLineEdit *>();
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->isReadOnly());
    QKeyEvent digit(QEvent::KeyPress, Qt::Key_5, Qt::NoModifier, QStringLiteral("5"));
    QApplication::sendEvent(form->vWidth, &digit);
    EXPECT_EQ(form->vWidth->value(), 256);

    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(form->vWidth, &up);
    EXPECT_EQ(form->vWidth->value(), 272);
    EXPECT_EQ(form->Model().WidthField(), 272);
    EXPECT_EQ(form->Pict->width(), 272);
}

TEST_F(CutDialogTest, ArrowsAtTheLimits)
{
    form->vWidth->setValue(16);
    EXPECT_EQ(form->vWidth->value(), 16);
    std::vector<int> seen;
    QObject::connect(form->vWidth, qOverload<int>(&QSpinBox::valueChanged),
                     [&seen](int v) { seen.push_back(v); });
    form->vWidth->stepDown();
    EXPECT_EQ(form->vWidth->value(), 16);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 8);  // the field passed through its minimum
    form->vWidth->stepDown();
    EXPECT_EQ(form->vWidth->value(), 16);

    form->vWidth->setValue(2048);
    form->vWidth->stepUp();
    EXPECT_EQ(form->vWidth->value(), 2048);
    form->vWidth->stepDown();
    EXPECT_EQ(form->vWidth->value(), 2032);
    EXPECT_EQ(form->Model().WidthField(), 2032);
}

TEST_F(CutDialogTest, EmptyNameIsRefusedWithTheMessage)
{
    LoadFile(Bmp(QStringLiteral("a.bmp"), NoiseImage(100, 10)));
    form->colours.fill(0x01020304);
    form->show();
    form->sPictName->clear();
    form->BtnSave->click();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].owner, form.get());
    EXPECT_EQ(shown[0].caption, kCaption);
    EXPECT_EQ(shown[0].text, kNoName);
    EXPECT_EQ(shown[0].icon, MsgIcon::Error);
    EXPECT_TRUE(form->isVisible());  // still open
    EXPECT_EQ(form->result(), 0);
    EXPECT_EQ(form->colours[0], 0x01020304u);
    EXPECT_TRUE(form->name.isEmpty());
}

TEST_F(CutDialogTest, BlanksAreAName)
{
    const QString path = Bmp(QStringLiteral("a.bmp"), NoiseImage(100, 10));
    LoadFile(path);
    form->show();
    Type(QStringLiteral("   "));
    form->BtnSave->click();
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(form->result(), 1);
    EXPECT_EQ(form->name, QStringLiteral("   "));
}

TEST_F(CutDialogTest, SaveWithoutAPictureIsRefused)
{
    form->name = QStringLiteral("abc");
    form->show();
    form->colours.fill(7);
    form->BtnSave->click();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, kCaption);
    EXPECT_EQ(shown[0].text, QStringLiteral("        请先装入图片!        "));
    EXPECT_EQ(shown[0].icon, MsgIcon::Error);
    EXPECT_EQ(form->result(), 0);
    EXPECT_EQ(form->colours[0], 7u);
    EXPECT_EQ(form->name, QStringLiteral("abc"));

    // the same after a file that gave nothing
    LoadFile(dir_.filePath(QStringLiteral("missing.bmp")));
    form->BtnSave->click();
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_EQ(form->result(), 0);
}

TEST_F(CutDialogTest, ResultEqualsTheWidgetFreeCapture)
{
    struct Case {
        QImage img;
        int width;  // 0: as the load sets it
        bool stretch;
    };
    const Case cases[] = {
        {NoiseImage(100, 10, 1), 0, false}, {NoiseImage(100, 10, 2), 256, false},
        {NoiseImage(256, 30, 3), 64, true}, {NoiseImage(3000, 4, 4), 0, false},
        {NoiseImage(2048, 3, 5), 0, true},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(n);
        TFormCut dialog(&owner_);
        const QString path = Bmp(QStringLiteral("c%1.bmp").arg(n++), c.img);
        dialog.chooseFile = [&] { return path; };
        dialog.name = QStringLiteral("图%1").arg(n);
        dialog.show();
        dialog.BtnLoad->click();
        const int loadWidth = std::min((std::min(c.img.width(), 2048) + 15) / 16 * 16, 2048);
        EXPECT_EQ(dialog.vWidth->value(), loadWidth);
        if (c.width) {
            // as the operator does it: arrow by arrow
            while (dialog.vWidth->value() != c.width)
                dialog.vWidth->stepBy(dialog.vWidth->value() < c.width ? 1 : -1);
        }
        if (c.stretch)
            dialog.bStretch->click();
        EXPECT_EQ(dialog.Pict->hasScaledContents(), c.stretch);
        dialog.BtnSave->click();
        ASSERT_EQ(dialog.result(), 1);
        EXPECT_EQ(dialog.name, QStringLiteral("图%1").arg(n));

        CaptureColours want{};
        ASSERT_TRUE(CaptureImage(LoadImageFile(path).image,
                                 c.width ? std::optional<int>(c.width) : std::nullopt, c.stretch,
                                 want));
        EXPECT_EQ(dialog.colours, want);
    }
    EXPECT_TRUE(shown.empty());
}

TEST_F(CutDialogTest, LoadSetsWidthAndCentres)
{
    LoadFile(Bmp(QStringLiteral("a.bmp"), NoiseImage(100, 20)));
    EXPECT_EQ(chooserRuns, 1);
    EXPECT_EQ(form->vWidth->value(), 112);
    const QSize box = form->Box->maximumViewportSize();
    EXPECT_EQ(form->Pict->geometry(),
              QRect((box.width() - 112) / 2, (box.height() - 20) / 2, 112, 20));

    // taller than the box: shown from its first row, the sampled one
    LoadFile(Bmp(QStringLiteral("tall.bmp"), NoiseImage(40, 500)));
    EXPECT_EQ(form->vWidth->value(), 48);
    EXPECT_EQ(form->Pict->y(), 0);
    EXPECT_EQ(form->Pict->height(), 500);
}

TEST_F(CutDialogTest, WhatThePictureShowsIsWhatIsSampled)
{
    const QImage img = NoiseImage(100, 30, 9);
    LoadFile(Bmp(QStringLiteral("a.bmp"), img));
    form->show();
    for (bool stretch : {false, true}) {
        SCOPED_TRACE(stretch);
        if (stretch) {
            form->vWidth->setValue(320);
            form->bStretch->click();
        }
        const QImage seen = form->Pict->grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(seen.width(), form->Pict->width());
        CaptureColours c{};
        ASSERT_TRUE(form->Model().Sample(c));
        for (int x = 0; x < seen.width(); ++x)
            ASSERT_EQ(CaptureColour(seen.pixel(x, 0)), c[x]) << x;
    }
}

TEST_F(CutDialogTest, CancelledLoadChangesNothing)
{
    const QString path = Bmp(QStringLiteral("a.bmp"), NoiseImage(100, 10));
    LoadFile(path);
    form->vWidth->setValue(256);
    form->name = QStringLiteral("keep");
    form->show();
    const QRect pict = form->Pict->geometry();
    const int display = form->Model().DisplayWidth();

    LoadFile(QString());  // the operator cancels the open dialog
    EXPECT_EQ(chooserRuns, 2);
    EXPECT_EQ(form->vWidth->value(), 256);
    EXPECT_EQ(form->Pict->geometry(), pict);
    EXPECT_EQ(form->Model().DisplayWidth(), display);
    EXPECT_EQ(form->Model().Working().width(), 100);
    EXPECT_EQ(form->sPictName->text(), QStringLiteral("keep"));
    EXPECT_TRUE(shown.empty());
}

TEST_F(CutDialogTest, UnreadableFileEmptiesQuietlyOversizedSaysWhy)
{
    LoadFile(Bmp(QStringLiteral("a.bmp"), NoiseImage(300, 10)));
    ASSERT_EQ(form->vWidth->value(), 304);

    const QString other = dir_.filePath(QStringLiteral("notes.txt"));
    ASSERT_TRUE(WriteAll(other, QByteArray("hello")));
    LoadFile(other);
    EXPECT_EQ(form->vWidth->value(), 16);
    EXPECT_TRUE(form->Model().Working().isNull());
    EXPECT_EQ(form->Model().DisplayHeight(), 0);
    EXPECT_TRUE(shown.empty());

    LoadFile(Bmp(QStringLiteral("b.bmp"), NoiseImage(300, 10)));
    const QString huge = dir_.filePath(QStringLiteral("huge.bmp"));
    ASSERT_TRUE(WriteAll(huge, BmpHeader(60000, 60000, 16)));
    LoadFile(huge);
    EXPECT_EQ(form->vWidth->value(), 16);
    EXPECT_TRUE(form->Model().Working().isNull());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, kCaption);
    EXPECT_EQ(shown[0].icon, MsgIcon::Error);
    EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("        ")));
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("60000")));
}

TEST_F(CutDialogTest, ANameEditKeepsWhatFitsWhereItIsMade)
{
    form->show();
    // typed in the middle: what fits of the insertion goes in there
    form->sPictName->setText(QStringLiteral("abcdefghijklm"));  // 13
    form->sPictName->setCursorPosition(2);
    Type(QStringLiteral("中"));
    EXPECT_EQ(form->sPictName->text(), QStringLiteral("ab中cdefghijklm"));
    Type(QStringLiteral("x"));
    EXPECT_EQ(form->sPictName->text(), QStringLiteral("ab中cdefghijklm"));

    // a pasted text is cut at a character boundary
    form->sPictName->clear();
    form->sPictName->insert(QStringLiteral("abcdefghijklmn中文"));
    EXPECT_EQ(form->sPictName->text(), QStringLiteral("abcdefghijklmn"));
    // a selection replaced: what fits of the new text goes in
    form->sPictName->setText(QStringLiteral("一二三四五六七"));
    form->sPictName->setSelection(0, 1);
    form->sPictName->insert(QStringLiteral("ab中"));
    EXPECT_EQ(form->sPictName->text(), QStringLiteral("ab二三四五六七"));
}

TEST_F(CutDialogTest, ShowPutsTheNameInAndCloseBoxCancels)
{
    LoadFile(Bmp(QStringLiteral("a.bmp"), NoiseImage(64, 8)));
    form->name = QStringLiteral("旧名字");
    form->colours.fill(5);
    int result = -1;
    QString seenName;
    QTimer::singleShot(0, form.get(), [&] {
        seenName = form->sPictName->text();
        form->sPictName->setText(QStringLiteral("new"));
        form->close();  // the close box
    });
    QTimer::singleShot(5000, form.get(), [&] { form->done(99); });  // never hang
    result = form->exec();
    EXPECT_EQ(result, 2);
    EXPECT_EQ(seenName, QStringLiteral("旧名字"));
    EXPECT_EQ(form->name, QStringLiteral("旧名字"));
    EXPECT_EQ(form->colours[0], 5u);
}

TEST_F(CutDialogTest, ExecEndsWithOneOnlyThroughSave)
{
    LoadFile(Bmp(QStringLiteral("a.bmp"), NoiseImage(64, 8, 3)));
    QTimer::singleShot(0, form.get(), [&] {
        form->sPictName->setText(QStringLiteral("p1"));
        form->BtnSave->click();
    });
    QTimer::singleShot(5000, form.get(), [&] { form->done(99); });
    EXPECT_EQ(form->exec(), 1);
    EXPECT_EQ(form->name, QStringLiteral("p1"));
    CaptureColours want{};
    ASSERT_TRUE(form->Model().Sample(want));
    EXPECT_EQ(form->colours, want);
}

TEST_F(CutDialogTest, OpenDialogHasTheFiltersAndAPreview)
{
    const QString path = Bmp(QStringLiteral("pic.bmp"), NoiseImage(400, 300, 4));
    QStringList filters;
    bool nonNative = false, previewShown = false, sidebarHidden = false;
    QTimer::singleShot(0, form.get(), [&] {
        auto *dlg = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        filters = dlg->nameFilters();
        nonNative = dlg->testOption(QFileDialog::DontUseNativeDialog);
        auto *sidebar = dlg->findChild<QWidget *>(QStringLiteral("sidebar"));
        sidebarHidden = sidebar && sidebar->isHidden();
        auto *preview = dlg->findChild<QLabel *>(QStringLiteral("Preview"));
        if (preview) {
            emit dlg->currentChanged(path);
            const QPixmap shownPixmap = preview->pixmap();
            previewShown = !shownPixmap.isNull() && shownPixmap.width() <= preview->width() &&
                           shownPixmap.height() <= preview->height();
        }
        dlg->selectFile(path);
        static_cast<QDialog *>(dlg)->accept();  // as the Open button does
    });
    QTimer::singleShot(5000, form.get(), [] {
        if (QWidget *w = QApplication::activeModalWidget())
            w->close();  // never hang
    });
    EXPECT_EQ(form->RunDlgOpen(), path);
    EXPECT_EQ(filters, (QStringList{QStringLiteral("All(*.jpg *.jpeg *.bmp *.png)"),
                                    QStringLiteral("JPEG Image File (*.jpg)"),
                                    QStringLiteral("JPEG Image File (*.jpeg)"),
                                    QStringLiteral("Bitmaps (*.bmp)"),
                                    QStringLiteral("PNG Image File (*.png)")}));
    EXPECT_TRUE(nonNative);
    EXPECT_TRUE(previewShown);
    EXPECT_TRUE(sidebarHidden);
}

TEST_F(CutDialogTest, LongStoredNameIsShownCutToFifteenBytes)
{
    form->name = QStringLiteral("abcdefghijklmnopqr");  // 18 bytes, as a record may hold
    form->show();
    EXPECT_EQ(form->sPictName->text(), QStringLiteral("abcdefghijklmno"));
}

TEST(OpenFilterTest, PipeFilterBecomesQtFilters)
{
    EXPECT_EQ(
        QtNameFilters(QString::fromLatin1(kOpenPictureFilter)),
        (QStringList{QStringLiteral("All(*.jpg *.jpeg *.bmp *.png)"),
                     QStringLiteral("JPEG Image File (*.jpg)"),
                     QStringLiteral("JPEG Image File (*.jpeg)"), QStringLiteral("Bitmaps (*.bmp)"),
                     QStringLiteral("PNG Image File (*.png)")}));
    EXPECT_EQ(QtNameFilters(QStringLiteral("Text|*.txt;*.md")),
              QStringList{QStringLiteral("Text (*.txt *.md)")});
}

}  // namespace
}  // namespace korvex
