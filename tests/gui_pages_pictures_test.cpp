// Picture management page: New, Replace, Rename, Delete, the preview strip,
// and how the program list follows the pictures.
#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>

#include "app/picture_strip.h"
#include "host/FrmPattern.h"
#include "model/pattern.h"
#include "tests/gui_pages_fixture.h"

namespace korvex::test {
namespace {

using Pictures = PagesTest;

// Whether the picture list's menu offers 生成图形... now.
bool MenuOffersPattern(TFormMain *form)
{
    emit form->PictList->customContextMenuRequested(QPoint(4, 4));
    const bool enabled = form->MnuPattern->isEnabled();
    form->PictMenu->hide();
    return enabled;
}

TEST_F(Pictures, NewSelectsThePictureAndEnablesItsButtons)
{
    EXPECT_FALSE(form->BtnReplace->isEnabled());
    form->show();
    AddPicture(QStringLiteral("abc"));
    EXPECT_TRUE(captureSawHidden);  // hidden while the dialog ran
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(captureNameIn, QString());
    EXPECT_EQ(Items(form->PictList), std::vector<std::string>{"001: abc"});
    EXPECT_EQ(Items(form->nPictList), std::vector<std::string>{"001: abc"});
    EXPECT_EQ(Selected(form->PictList), 0);
    EXPECT_TRUE(form->BtnReplace->isEnabled());
    EXPECT_TRUE(form->BtnRename->isEnabled());
    EXPECT_TRUE(form->BtnDelete->isEnabled());
    EXPECT_TRUE(form->BtnSavePict->isEnabled());
    EXPECT_TRUE(form->picturesDirty);
    EXPECT_EQ(form->doc.Pictures()[0].nameLength, 3);
    EXPECT_EQ(form->doc.Pictures()[0].colours[2047], 0x00102030u);
}

TEST_F(Pictures, CancelledCaptureChangesNothingButShowsTheWindowAgain)
{
    form->show();
    captureResult = 2;
    form->BtnNewClick();
    EXPECT_EQ(captureRuns, 1);
    EXPECT_TRUE(captureSawHidden);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->PictList->count(), 0);
    EXPECT_FALSE(form->BtnSavePict->isEnabled());
    EXPECT_FALSE(form->picturesDirty);
}

TEST_F(Pictures, The122ndNewDisablesNewForTheRestOfTheRun)
{
    AddPictures(120);
    AddPicture(QStringLiteral("last"));
    ASSERT_EQ(form->PictList->count(), 121);
    EXPECT_EQ(form->PictList->item(120)->text(), QStringLiteral("121: last"));
    EXPECT_EQ(form->nPictList->item(11)->text(), QStringLiteral("012: p12"));
    EXPECT_TRUE(form->BtnNew->isEnabled());

    const int runs = captureRuns;
    EXPECT_FALSE(MenuOffersPattern(form.get()));
    int patternRuns = 0;
    form->runPattern = [&](TFormMain *, TFormPattern &) { return ++patternRuns; };
    form->MnuPattern->trigger();
    EXPECT_EQ(patternRuns, 0);
    AddPicture(QStringLiteral("one too many"));
    EXPECT_EQ(captureRuns, runs);  // no dialog
    EXPECT_EQ(form->PictList->count(), 121);
    EXPECT_FALSE(form->BtnNew->isEnabled());

    ClickPicture(3);
    form->BtnDeleteClick();
    EXPECT_EQ(form->PictList->count(), 120);
    EXPECT_FALSE(form->BtnNew->isEnabled());
}

// The dialog driven as the operator would: OK adds exactly MakePattern's
// colours for what the controls hold (the preview showed the same) under
// the typed name, as New does; an empty name and Cancel add nothing.
TEST_F(Pictures, PatternDialogAddsWhatItPreviewed)
{
    ASSERT_TRUE(MenuOffersPattern(form.get()));
    PatternDescription want = DefaultPattern(PatternKind::Gradient);
    want.colours = {{0xFF, 0, 0}, {0x12, 0x34, 0x56}, {0, 0xFF, 0}};
    want.pixels = 300;
    want.repeat = 2;
    want.reverse = want.dither = true;
    QImage preview;
    form->runPattern = [&](TFormMain *, TFormPattern &d) {
        EXPECT_EQ(d.vPixels->value(), 2048);  // no controller checked
        d.chooseColour = [](const QColor &) { return QColor(0x12, 0x34, 0x56); };
        d.SelKind->setCurrentIndex(int(PatternKind::Gradient));
        EXPECT_EQ(d.sPictName->text(), QStringLiteral("渐变"));
        EXPECT_FALSE(d.WidthBox->isVisibleTo(&d));
        EXPECT_TRUE(d.RepeatBox->isVisibleTo(&d));
        d.vColours->setValue(3);
        d.BtnColour[1]->click();
        d.vPixels->setValue(300);
        d.vRepeat->setValue(2);
        d.ChkReverse->setChecked(true);
        d.ChkDither->setChecked(true);
        d.sPictName->clear();
        d.BtnSave->click();  // refused: no name
        EXPECT_EQ(messages.size(), 1u);
        d.sPictName->setText(QStringLiteral("红绿"));
        preview = d.Pict->pixmap().toImage();
        d.BtnSave->click();
        return d.result();
    };
    form->MnuPattern->trigger();

    ASSERT_EQ(Items(form->PictList), std::vector<std::string>{"001: 红绿"});
    EXPECT_EQ(Selected(form->PictList), 0);
    EXPECT_TRUE(form->BtnSavePict->isEnabled());
    const PictureColours made = MakePattern(want);
    EXPECT_TRUE(std::equal(made.begin(), made.end(), form->doc.Picture(0).colours));
    EXPECT_EQ(preview, PictureRow(made, preview.width(), preview.height()));

    form->BtnSavePictClick();
    form->runPattern = [](TFormMain *, TFormPattern &d) {
        d.BtnCancel->click();
        return d.result();
    };
    form->MnuPattern->trigger();
    EXPECT_EQ(form->PictList->count(), 1);
    EXPECT_FALSE(form->BtnSavePict->isEnabled());
}

TEST_F(Pictures, DeletingPicture2Of4RelabelsAndRetargetsTheProgram)
{
    AddPictures(4);
    form->doc.Program()[0] = {1, 0, 1};   // picture 2, soon picture 3's slot
    form->doc.Program()[1] = {3, 2, 31};  // picture 4, soon gone
    form->doc.Program()[2] = {0, 1, 31};
    form->RebuildProgList(3);
    form->BtnSavePictClick();

    ClickPicture(1);
    form->BtnDeleteClick();
    EXPECT_EQ(Items(form->PictList), (std::vector<std::string>{"001: p1", "002: p3", "003: p4"}));
    EXPECT_EQ(Items(form->nPictList), Items(form->PictList));
    EXPECT_EQ(NameOf(form->doc.Pictures()[1]), "p3");
    EXPECT_EQ(NameOf(form->doc.Pictures()[2]), "p4");
    // Index 1 now names the former picture 3; index 3 is no longer listed.
    EXPECT_EQ(Items(form->nProgList),
              (std::vector<std::string>{"001: p3 - 显示", "002: p1 - 渐显"}));
    EXPECT_EQ(form->doc.Program()[0].picture, 1);
    EXPECT_EQ(form->doc.Program()[1].picture, 0);
    EXPECT_TRUE(form->BtnSavePict->isEnabled());
    EXPECT_TRUE(form->BtnReplace->isEnabled());  // the rebuild selected a picture
}

TEST_F(Pictures, DeletingTheOnlyPictureEmptiesTheListsAndDisablesTheButtons)
{
    AddPicture(QStringLiteral("x"), 0x00F0F0F0);
    form->BtnDeleteClick();
    EXPECT_EQ(form->PictList->count(), 0);
    EXPECT_EQ(form->nPictList->count(), 0);
    EXPECT_FALSE(form->BtnReplace->isEnabled());
    EXPECT_FALSE(form->BtnRename->isEnabled());
    EXPECT_FALSE(form->BtnDelete->isEnabled());
    // The strip no longer shows the deleted picture.
    const QImage strip = form->Pict->pixmap().toImage();
    EXPECT_NE(strip.pixelColor(0, 0), QColor(0xF0, 0xF0, 0xF0));

    form->BtnDeleteClick();  // nothing selected: nothing happens
    form->BtnRenameClick();
    EXPECT_EQ(renameRuns, 0);
}

TEST_F(Pictures, RenameToTheSameTextChangesNothingAndToEmptyIsKept)
{
    AddPicture(QStringLiteral("abc"));
    AddStep(0);
    form->BtnSavePictClick();
    ASSERT_FALSE(form->BtnSavePict->isEnabled());

    ClickPicture(0);
    renameTo = QStringLiteral("abc");
    form->BtnRenameClick();
    EXPECT_EQ(renameRuns, 1);
    EXPECT_FALSE(form->BtnSavePict->isEnabled());
    EXPECT_FALSE(form->picturesDirty);

    renameTo = QString();
    form->BtnRenameClick();
    EXPECT_EQ(form->doc.Pictures()[0].nameLength, 0);
    EXPECT_EQ(form->PictList->item(0)->text(), QStringLiteral("001: "));
    EXPECT_EQ(form->nPictList->item(0)->text(), QStringLiteral("001: "));
    EXPECT_EQ(form->nProgList->item(0)->text(), QStringLiteral("001:  - 显示"));
    EXPECT_TRUE(form->BtnSavePict->isEnabled());

    renameTo = QStringLiteral("图形一");
    form->BtnRenameClick();
    EXPECT_EQ(NameOf(form->doc.Pictures()[0]), Utf8ToGbk("图形一"));
    EXPECT_EQ(form->PictList->item(0)->text(), QStringLiteral("001: 图形一"));
}

TEST_F(Pictures, ReplaceKeepsTheSlotAndRelabelsTheSteps)
{
    AddPictures(3);
    AddStep(1);
    form->show();
    ClickPicture(1);
    nextCapture.colours.fill(0x00F00000);
    nextCapture.name = QStringLiteral("new");
    form->BtnReplaceClick();
    EXPECT_EQ(captureNameIn, QStringLiteral("p2"));
    EXPECT_TRUE(captureSawHidden);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->PictList->item(1)->text(), QStringLiteral("002: new"));
    EXPECT_EQ(form->nPictList->item(1)->text(), QStringLiteral("002: new"));
    EXPECT_EQ(form->nProgList->item(0)->text(), QStringLiteral("001: new - 显示"));
    EXPECT_EQ(Selected(form->PictList), 1);
    EXPECT_EQ(form->doc.Pictures()[1].colours[0], 0x00F00000u);
    EXPECT_EQ(form->doc.Pictures()[2].colours[0], 0x00102030u);
}

TEST_F(Pictures, PreviewShowsTheFirst317ColoursAsStored)
{
    nextCapture = CaptureOutcome{};
    nextCapture.colours[5] = 0x00F00000;    // blue
    nextCapture.colours[316] = 0x000000F0;  // red, the last column shown
    nextCapture.colours[317] = 0x0000F000;  // never shown
    nextCapture.name = QStringLiteral("strip");
    captureResult = 1;
    form->BtnNewClick();

    const QImage strip = form->Pict->pixmap().toImage();
    ASSERT_EQ(strip.size(), QSize(317, 9));
    for (int y = 0; y < 9; ++y) {
        EXPECT_EQ(strip.pixelColor(5, y), QColor(0, 0, 0xF0)) << y;
        EXPECT_EQ(strip.pixelColor(316, y), QColor(0xF0, 0, 0)) << y;
    }
    EXPECT_EQ(strip.pixelColor(4, 0), QColor(0, 0, 0));

    // With nothing selected the strip shows slot 0.
    AddPicture(QStringLiteral("other"), 0x00F0F0F0);
    form->PictList->clearSelection();
    form->PictListClick();
    EXPECT_EQ(form->Pict->pixmap().toImage().pixelColor(5, 8), QColor(0, 0, 0xF0));
    EXPECT_FALSE(form->BtnDelete->isEnabled());
}

}  // namespace
}  // namespace korvex::test
