// The page handlers reached the way the operator reaches them: key presses
// and mouse clicks delivered to the controls, not direct handler calls. A
// slip in how a control is wired (a handler that runs for a change made from
// code, or one that never runs for the operator's) shows here.
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QImage>
#include <QPixmap>
#include <QProgressBar>
#include <cstring>

#include "tests/gui_main_fixture.h"
#include "tests/gui_pages_fixture.h"

namespace korvex::test {
namespace {

using Events = PagesTest;

void Key(QWidget *target, int key, const QString &text = QString())
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
}

void ClickRow(QListWidget *list, int row, bool twice = false)
{
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QWidget *port = list->viewport();
    const QPointF global = port->mapToGlobal(QPointF(at));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(port, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(port, &release);
    if (twice) {
        QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(at), global, Qt::LeftButton,
                        Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(port, &dbl);
        QMouseEvent release2(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton,
                             Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(port, &release2);
    }
}

// Presses on one row, moves with the button held and lets go on another:
// the list's selection follows the mouse without a click on one item.
void DragRow(QListWidget *list, int from, int to)
{
    QWidget *port = list->viewport();
    const QPointF a(list->visualItemRect(list->item(from)).center());
    const QPointF b(list->visualItemRect(list->item(to)).center());
    QMouseEvent press(QEvent::MouseButtonPress, a, port->mapToGlobal(a), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(port, &press);
    QMouseEvent move(QEvent::MouseMove, b, port->mapToGlobal(b), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(port, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, b, port->mapToGlobal(b), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(port, &release);
}

// ---- program page ----

TEST_F(Events, ValueArrowsChangeTheSelectedStepButTypingDoesNot)
{
    form->show();
    AddPictures(2);
    ChooseEffect(0);  // 显示, value 1
    AddStep(1);
    form->BtnSavePictClick();
    ASSERT_FALSE(form->BtnSaveProgList->isEnabled());

    Key(form->vSpeedStay, Qt::Key_Up);
    EXPECT_EQ(form->vSpeedStay->value(), 2);
    EXPECT_EQ(form->doc.Program()[0].value, 2);
    EXPECT_EQ(form->nProgList->item(0)->text(), QStringLiteral("002: p2 - 显示"));
    EXPECT_TRUE(form->BtnSaveProgList->isEnabled());

    Key(form->vSpeedStay, Qt::Key_9, QStringLiteral("9"));
    EXPECT_EQ(form->vSpeedStay->value(), 2);
    EXPECT_EQ(form->doc.Program()[0].value, 2);
}

TEST_F(Events, EffectPickedWithTheKeyboardAppliesItsDefault)
{
    form->show();
    AddPictures(1);
    ChooseEffect(0);
    AddStep(0);
    ASSERT_EQ(form->vSpeedStay->value(), 1);

    Key(form->SelAnimation, Qt::Key_Down);  // 显示 -> 渐显
    EXPECT_EQ(form->SelAnimation->currentIndex(), 1);
    EXPECT_EQ(form->vSpeedStay->value(), 31);
    EXPECT_EQ(form->doc.Program()[0].effect, 1);
    EXPECT_EQ(form->doc.Program()[0].value, 31);
    EXPECT_EQ(form->nProgList->item(0)->text(), QStringLiteral("001: p1 - 渐显"));
}

TEST_F(Events, DoubleClickAddsAndClickShowsAStep)
{
    form->show();
    form->PageCtrl->setCurrentIndex(2);
    AddPictures(3);
    ChooseEffect(5);  // 等待, value 1
    ClickRow(form->nPictList, 2, true);
    ASSERT_EQ(form->nProgList->count(), 1);
    EXPECT_EQ(form->nProgList->item(0)->text(), QStringLiteral("003: p3 - 等待"));
    ChooseEffect(2);  // the step becomes 左移 31
    ClickRow(form->nPictList, 0, true);
    ASSERT_EQ(form->nProgList->count(), 2);

    ClickRow(form->nProgList, 0);
    EXPECT_EQ(form->SelAnimation->currentIndex(), 2);
    EXPECT_EQ(form->vSpeedStay->value(), 31);
    EXPECT_TRUE(form->BtnDelProg->isEnabled());
    EXPECT_EQ(form->doc.Program()[0].effect, 2);
    EXPECT_EQ(form->doc.Program()[1].effect, 2);
}

TEST_F(Events, SelectionDraggedToAnotherStepShowsThatStep)
{
    form->show();
    form->PageCtrl->setCurrentIndex(2);
    AddPictures(3);
    AddStep(0);
    ChooseEffect(0);
    SetValue(3);  // step 1: 显示 3
    AddStep(1);
    ChooseEffect(2);  // step 2: 左移 31
    AddStep(2);
    ChooseEffect(5);
    SetValue(7);  // step 3: 等待 7
    ClickStep(0);
    const ProgramTable before = form->doc.Program();

    DragRow(form->nProgList, 0, 2);
    ASSERT_EQ(Selected(form->nProgList), 2);
    EXPECT_EQ(form->SelAnimation->currentIndex(), 5);
    EXPECT_EQ(form->vSpeedStay->value(), 7);
    EXPECT_EQ(form->sSpeedStay->text(), QStringLiteral("等待"));

    // A change now reaches step 3 with its own value, not step 1's.
    Key(form->vSpeedStay, Qt::Key_Up);
    EXPECT_EQ(form->doc.Program()[2].value, 8);
    EXPECT_EQ(form->doc.Program()[2].effect, 5);
    EXPECT_EQ(std::memcmp(&before, &form->doc.Program(), 2 * sizeof(ProgramEntry)), 0);
}

TEST_F(Events, StepDeselectedWithTheKeyboardTurnsTheStepControlsOff)
{
    form->show();
    AddPictures(1);
    AddStep(0);
    ASSERT_TRUE(form->SelAnimation->isEnabled());
    form->nProgList->setFocus();

    QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" "));
    QApplication::sendEvent(form->nProgList, &press);
    ASSERT_EQ(Selected(form->nProgList), -1);
    EXPECT_FALSE(form->SelAnimation->isEnabled());
    EXPECT_FALSE(form->vSpeedStay->isEnabled());
    EXPECT_FALSE(form->BtnDelProg->isEnabled());
}

TEST_F(Events, PictureSelectionDraggedToAnotherRowFollowsIt)
{
    form->show();
    form->PageCtrl->setCurrentIndex(1);
    AddPicture(QStringLiteral("red"), 0x000000F0);
    AddPicture(QStringLiteral("green"), 0x0000F000);
    AddPicture(QStringLiteral("blue"), 0x00F00000);
    ClickPicture(0);
    ASSERT_EQ(form->Pict->pixmap().toImage().pixelColor(0, 0), QColor(0xF0, 0, 0));

    DragRow(form->PictList, 0, 2);
    ASSERT_EQ(Selected(form->PictList), 2);
    EXPECT_EQ(form->Pict->pixmap().toImage().pixelColor(0, 0), QColor(0, 0, 0xF0));
}

// ---- what changes the program list, and what does not ----

TEST_F(Events, NewLeavesTheStepLabelsAsTheyAre)
{
    AddPictures(3);
    ChooseEffect(1);
    AddStep(2);
    ASSERT_EQ(Items(form->nProgList), std::vector<std::string>{"003: p3 - 渐显"});

    AddPicture(QStringLiteral("p4"));  // no rebuild: the add's own number stays
    EXPECT_EQ(Items(form->nProgList), std::vector<std::string>{"003: p3 - 渐显"});
    EXPECT_EQ(Selected(form->nProgList), 0);

    ClickPicture(3);
    renameTo = QStringLiteral("four");
    form->BtnRenameClick();  // a rebuild numbers by position
    EXPECT_EQ(Items(form->nProgList), std::vector<std::string>{"001: p3 - 渐显"});
}

TEST_F(Events, RebuildShowsEntryZeroWithoutEnablingTheStepControlsOrDirtying)
{
    AddPictures(2);
    AddStep(0);
    form->BtnDelProgClick();  // the only step: the step controls go off
    form->BtnSavePictClick();
    ASSERT_FALSE(form->SelAnimation->isEnabled());
    ASSERT_FALSE(form->vSpeedStay->isEnabled());
    ASSERT_FALSE(form->BtnDelProg->isEnabled());

    form->doc.Program()[0] = ProgramEntry{1, 5, 9};
    form->RebuildProgList(1);
    EXPECT_EQ(Items(form->nProgList), std::vector<std::string>{"001: p2 - 等待"});
    EXPECT_EQ(form->SelAnimation->currentIndex(), 5);
    EXPECT_EQ(form->vSpeedStay->value(), 9);  // no default
    EXPECT_EQ(form->sSpeedStay->text(), QStringLiteral("等待"));
    EXPECT_FALSE(form->sUnit->isHidden());
    EXPECT_EQ(Selected(form->nProgList), 0);
    EXPECT_TRUE(form->BtnDelProg->isEnabled());
    EXPECT_FALSE(form->SelAnimation->isEnabled());
    EXPECT_FALSE(form->vSpeedStay->isEnabled());
    EXPECT_FALSE(form->programDirty);
    EXPECT_FALSE(form->BtnSaveProgList->isEnabled());
    EXPECT_EQ(form->doc.Program()[0].value, 9);
}

// ---- picture page ----

TEST_F(Events, ClickingAPictureEnablesItsButtons)
{
    form->show();
    form->PageCtrl->setCurrentIndex(1);
    AddPictures(3);
    {
        const QSignalBlocker block(form->PictList);
        form->PictList->clearSelection();
    }
    form->PictListClick();
    ASSERT_FALSE(form->BtnRename->isEnabled());

    ClickRow(form->PictList, 1);
    EXPECT_TRUE(form->BtnReplace->isEnabled());
    EXPECT_TRUE(form->BtnRename->isEnabled());
    EXPECT_TRUE(form->BtnDelete->isEnabled());
}

// ---- settings page, no controller ----

TEST_F(Events, SettingsControlsWhileNotConnected)
{
    form->show();
    ASSERT_FALSE(form->connected);
    ASSERT_FALSE(form->BtnCfgSave->isEnabled());

    form->ChkOE->click();
    EXPECT_TRUE(form->ChkOE->isChecked());
    EXPECT_FALSE(form->BtnCfgSave->isEnabled());
    EXPECT_FALSE(form->settingsDirty);

    form->nRGB->setCurrentIndex(3);
    EXPECT_FALSE(form->BtnCfgSave->isEnabled());

    Key(form->vWidth, Qt::Key_Down);
    EXPECT_EQ(form->vWidth->value(), 2040);
    EXPECT_TRUE(form->BtnCfgSave->isEnabled());
    EXPECT_FALSE(form->settingsDirty);
}

// ---- the connection check and the selected step ----

using CheckAndSteps = MainWindowTest;

TEST_F(CheckAndSteps, RefillingTheEffectListLeavesTheSelectedStepAlone)
{
    StartController(ControllerRecord("1.1", 0, 2048, 0));
    WriteLibrary({"a", "b"}, 3);  // effects 0, 1, 2
    Open();
    ASSERT_EQ(form->SelAnimation->count(), 8);
    {
        const QSignalBlocker block(form->nProgList);
        form->nProgList->setCurrentRow(2);
    }
    form->nProgListClick();
    ASSERT_EQ(form->SelAnimation->currentIndex(), 2);
    const ProgramTable before = form->doc.Program();
    const std::vector<std::string> labels = ListItems(form->nProgList);

    (*sim)->SetConfigRecord(ControllerRecord("1.0", 0, 2048, 0));
    PickPort(0);
    EXPECT_EQ(form->SelAnimation->count(), 6);
    EXPECT_EQ(form->SelAnimation->currentIndex(), 2);
    EXPECT_EQ(std::memcmp(&before, &form->doc.Program(), sizeof before), 0);
    EXPECT_EQ(ListItems(form->nProgList), labels);
    EXPECT_FALSE(form->programDirty);
    EXPECT_FALSE(form->BtnSaveProgList->isEnabled());
}

}  // namespace
}  // namespace korvex::test
