// Program editor page: Add, showing and changing a step, Delete, and the
// program list rebuild.
#include <cstring>

#include "tests/gui_pages_fixture.h"

namespace korvex::test {
namespace {

using Program = PagesTest;

// ---- changing the effect and the value ----

TEST_F(Program, ChoosingWaitWithNoStepSelectedOnlyPresetsTheControls)
{
    AddPictures(2);
    ASSERT_EQ(form->nProgList->count(), 0);
    const ProgramTable before = form->doc.Program();
    const bool saveBefore = form->BtnSaveProgList->isEnabled();

    ChooseEffect(5);  // 等待
    EXPECT_EQ(form->sSpeedStay->text(), QStringLiteral("等待"));
    EXPECT_FALSE(form->sUnit->isHidden());
    EXPECT_EQ(form->sUnit->text(), QStringLiteral("秒"));
    EXPECT_EQ(form->vSpeedStay->value(), 1);
    EXPECT_EQ(std::memcmp(&before, &form->doc.Program(), sizeof before), 0);
    EXPECT_EQ(form->BtnSaveProgList->isEnabled(), saveBefore);
    EXPECT_FALSE(form->programDirty);
}

TEST_F(Program, ValueChangeKeepsTheValueAndTheEffectText)
{
    AddPictures(2);
    ChooseEffect(0);  // 显示, value preset to 1
    AddStep(1);
    ASSERT_EQ(form->doc.Program()[0].value, 1);
    form->BtnSavePictClick();  // start from a saved state
    ASSERT_FALSE(form->BtnSaveProgList->isEnabled());

    SetValue(2);
    EXPECT_EQ(form->vSpeedStay->value(), 2);
    EXPECT_EQ(form->doc.Program()[0].value, 2);
    EXPECT_EQ(form->doc.Program()[0].effect, 0);
    EXPECT_EQ(form->nProgList->item(0)->text(), QStringLiteral("002: p2 - 显示"));
    EXPECT_EQ(form->sSpeedStay->text(), QStringLiteral("停留"));
    EXPECT_TRUE(form->BtnSaveProgList->isEnabled());
    EXPECT_TRUE(form->programDirty);
}

TEST_F(Program, EffectChangeAppliesTheDefaultAndSwapsTheLabelEnd)
{
    AddPictures(2);
    ChooseEffect(0);
    AddStep(0);
    ASSERT_FALSE(form->sUnit->isHidden());

    ChooseEffect(2);  // 左移
    EXPECT_EQ(form->vSpeedStay->value(), 31);
    EXPECT_EQ(form->sSpeedStay->text(), QStringLiteral("速度"));
    EXPECT_TRUE(form->sUnit->isHidden());
    EXPECT_EQ(form->nProgList->item(0)->text(), QStringLiteral("001: p1 - 左移"));
    EXPECT_EQ(form->doc.Program()[0].effect, 2);
    EXPECT_EQ(form->doc.Program()[0].value, 31);
    EXPECT_EQ(Selected(form->nProgList), 0);
}

TEST_F(Program, ShowingAStepChangesNothing)
{
    AddPictures(3);
    AddStep(0);
    ChooseEffect(1);  // changes the step just added
    AddStep(2);
    ChooseEffect(5);
    SetValue(7);
    form->BtnSavePictClick();
    const ProgramTable before = form->doc.Program();
    const auto labels = Items(form->nProgList);

    ClickStep(0);
    EXPECT_EQ(form->SelAnimation->currentIndex(), 1);
    EXPECT_EQ(form->vSpeedStay->value(), 31);
    EXPECT_EQ(form->sSpeedStay->text(), QStringLiteral("速度"));
    ClickStep(1);
    EXPECT_EQ(form->SelAnimation->currentIndex(), 5);
    EXPECT_EQ(form->vSpeedStay->value(), 7);
    EXPECT_EQ(form->sSpeedStay->text(), QStringLiteral("等待"));
    EXPECT_EQ(std::memcmp(&before, &form->doc.Program(), sizeof before), 0);
    EXPECT_EQ(Items(form->nProgList), labels);
    EXPECT_FALSE(form->BtnSaveProgList->isEnabled());
    EXPECT_TRUE(form->SelAnimation->isEnabled());
    EXPECT_TRUE(form->BtnDelProg->isEnabled());
}

// ---- Add ----

TEST_F(Program, AddKeepsThePictureNumberUntilTheNextRebuild)
{
    AddPicture(QStringLiteral("p1"));
    AddPicture(QStringLiteral("p2"));
    AddPicture(QStringLiteral("abc"));
    ChooseEffect(1);  // 渐显
    AddStep(2);
    EXPECT_EQ(Items(form->nProgList), std::vector<std::string>{"003: abc - 渐显"});
    EXPECT_EQ(Selected(form->nProgList), 0);
    EXPECT_EQ(form->doc.Program()[0].picture, 2);
    EXPECT_EQ(form->doc.Program()[0].effect, 1);
    EXPECT_EQ(form->doc.Program()[0].value, 31);
    EXPECT_TRUE(form->BtnSaveProgList->isEnabled());
    EXPECT_TRUE(form->BtnDelProg->isEnabled());

    form->RebuildProgList(form->nProgList->count());
    EXPECT_EQ(Items(form->nProgList), std::vector<std::string>{"001: abc - 渐显"});
}

TEST_F(Program, AddWithoutAPictureOrBeyond512StepsChangesNothing)
{
    form->nPictListDblClick();  // empty picture list
    EXPECT_EQ(form->nProgList->count(), 0);
    EXPECT_FALSE(form->BtnSaveProgList->isEnabled());

    AddPictures(2);
    ChooseEffect(3);
    for (int i = 0; i < kMaxProgram; ++i)
        AddStep(i % 2);
    ASSERT_EQ(form->nProgList->count(), kMaxProgram);
    EXPECT_TRUE(messages.empty());
    const ProgramTable before = form->doc.Program();

    AddStep(0);
    EXPECT_EQ(form->nProgList->count(), kMaxProgram);
    EXPECT_EQ(std::memcmp(&before, &form->doc.Program(), sizeof before), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("节目编排"));
    EXPECT_EQ(messages[0].icon, MsgIcon::Error);
}

TEST_F(Program, AddWithNoEffectChosenTakesShow)
{
    AddPictures(1);
    {
        const QSignalBlocker block(form->SelAnimation);
        form->SelAnimation->setCurrentIndex(-1);
    }
    form->vSpeedStay->setValue(9);
    AddStep(0);
    EXPECT_EQ(form->doc.Program()[0].effect, 0);
    EXPECT_EQ(form->doc.Program()[0].value, 9);
    EXPECT_EQ(form->SelAnimation->currentIndex(), 0);
    EXPECT_EQ(form->nProgList->item(0)->text(), QStringLiteral("001: p1 - 显示"));
}

// ---- Delete ----

class ProgramOfThree : public PagesTest {
protected:
    void SetUp() override
    {
        PagesTest::SetUp();
        // Each new step is the selected one, so the effect and value
        // chosen after an add apply to that step.
        AddPictures(3);
        AddStep(0);
        ChooseEffect(0);  // 001: p1 - 显示, value 1
        AddStep(1);
        ChooseEffect(2);  // 002: p2 - 左移, value 31
        AddStep(2);
        ChooseEffect(5);
        SetValue(4);  // 003: p3 - 等待, value 4
        form->BtnSavePictClick();
    }
};

TEST_F(ProgramOfThree, DeletingTheLastSelectsAndShowsTheNewLast)
{
    ClickStep(2);
    form->BtnDelProgClick();
    EXPECT_EQ(Items(form->nProgList),
              (std::vector<std::string>{"001: p1 - 显示", "002: p2 - 左移"}));
    EXPECT_EQ(Selected(form->nProgList), 1);
    EXPECT_EQ(form->SelAnimation->currentIndex(), 2);
    EXPECT_EQ(form->vSpeedStay->value(), 31);
    EXPECT_TRUE(form->BtnDelProg->isEnabled());
    EXPECT_TRUE(form->BtnSaveProgList->isEnabled());
}

TEST_F(ProgramOfThree, DeletingTheFirstShiftsEntriesButKeepsLabels)
{
    ClickStep(0);
    form->BtnDelProgClick();
    EXPECT_EQ(Items(form->nProgList),
              (std::vector<std::string>{"002: p2 - 左移", "003: p3 - 等待"}));
    EXPECT_EQ(form->doc.Program()[0].picture, 1);
    EXPECT_EQ(form->doc.Program()[0].effect, 2);
    EXPECT_EQ(form->doc.Program()[1].picture, 2);
    EXPECT_EQ(form->doc.Program()[1].effect, 5);
    EXPECT_EQ(form->doc.Program()[1].value, 4);
    EXPECT_EQ(Selected(form->nProgList), 0);
    EXPECT_EQ(form->SelAnimation->currentIndex(), 2);
    EXPECT_TRUE(form->BtnSaveProgList->isEnabled());

    form->RebuildProgList(form->nProgList->count());
    EXPECT_EQ(Items(form->nProgList),
              (std::vector<std::string>{"001: p2 - 左移", "002: p3 - 等待"}));
}

TEST_F(ProgramOfThree, DeletingEveryStepDisablesTheStepControls)
{
    for (int i = 0; i < 3; ++i) {
        ClickStep(0);
        form->BtnDelProgClick();
    }
    EXPECT_EQ(form->nProgList->count(), 0);
    EXPECT_FALSE(form->SelAnimation->isEnabled());
    EXPECT_FALSE(form->vSpeedStay->isEnabled());
    EXPECT_FALSE(form->BtnDelProg->isEnabled());
    EXPECT_TRUE(form->BtnSaveProgList->isEnabled());

    // Nothing selected: Delete and a change leave the table alone.
    const ProgramTable before = form->doc.Program();
    form->BtnDelProgClick();
    SetValue(12);
    EXPECT_EQ(std::memcmp(&before, &form->doc.Program(), sizeof before), 0);
}

// ---- the rebuild ----

TEST_F(Program, RebuildListsNothingForNoStepsOrNoPictures)
{
    form->doc.Program()[0] = {0, 0, 1};
    form->RebuildProgList(1);  // no pictures
    EXPECT_EQ(form->nProgList->count(), 0);
    EXPECT_FALSE(form->BtnDelProg->isEnabled());

    AddPictures(2);
    form->RebuildProgList(0);
    EXPECT_EQ(form->nProgList->count(), 0);
    EXPECT_FALSE(form->BtnDelProg->isEnabled());
    form->RebuildProgList(-5);
    EXPECT_EQ(form->nProgList->count(), 0);
}

TEST_F(Program, RebuildDropsStepsWhosePictureIsGoneSoListAndTableAgree)
{
    AddPictures(5);
    form->doc.Program()[0] = {0, 1, 10};
    form->doc.Program()[1] = {7, 2, 20};  // no picture 8
    form->doc.Program()[2] = {4, 3, 30};
    form->RebuildProgList(3);
    EXPECT_EQ(Items(form->nProgList),
              (std::vector<std::string>{"001: p1 - 渐显", "002: p5 - 右移"}));
    // Item i is entry i: what Save and Send take is what is listed.
    EXPECT_EQ(form->doc.Program()[1].picture, 4);
    EXPECT_EQ(form->doc.Program()[1].effect, 3);
    EXPECT_EQ(form->doc.Program()[1].value, 30);
    EXPECT_EQ(Selected(form->nProgList), 0);
    EXPECT_TRUE(form->BtnDelProg->isEnabled());
    EXPECT_EQ(form->SelAnimation->currentIndex(), 1);
    EXPECT_EQ(form->vSpeedStay->value(), 10);
    EXPECT_FALSE(form->programDirty);

    // Showing and changing the second item reaches the entry it lists.
    ClickStep(1);
    EXPECT_EQ(form->SelAnimation->currentIndex(), 3);
    SetValue(5);
    EXPECT_EQ(form->doc.Program()[1].value, 5);
}

TEST_F(Program, RebuildSelectsThePictureAtTheSelectedStepsPosition)
{
    AddPictures(3);
    for (int i = 0; i < 5; ++i)
        AddStep(0);
    ClickStep(1);
    form->RebuildProgList(form->nProgList->count());
    EXPECT_EQ(Selected(form->PictList), 1);
    EXPECT_TRUE(form->BtnRename->isEnabled());

    // A step position past the pictures selects the last picture.
    ClickStep(4);
    form->RebuildProgList(form->nProgList->count());
    EXPECT_EQ(Selected(form->PictList), 2);
    EXPECT_EQ(Selected(form->nProgList), 0);
}

TEST_F(Program, StepsWithAnEffectTheListDoesNotOfferStillShow)
{
    AddPictures(2);
    {
        // A controller of an older firmware: six effects only.
        const QSignalBlocker block(form->SelAnimation);
        while (form->SelAnimation->count() > 6)
            form->SelAnimation->removeItem(form->SelAnimation->count() - 1);
    }
    form->doc.Program()[0] = {0, 6, 12};   // 展开
    form->doc.Program()[1] = {1, 200, 3};  // no such effect
    form->RebuildProgList(2);
    EXPECT_EQ(Items(form->nProgList), (std::vector<std::string>{"001: p1 - 展开", "002: p2 - ??"}));
    EXPECT_EQ(form->SelAnimation->currentIndex(), -1);

    ClickStep(0);
    EXPECT_EQ(form->SelAnimation->currentIndex(), -1);
    EXPECT_EQ(form->vSpeedStay->value(), 12);
    SetValue(13);  // a value change keeps the step's effect
    EXPECT_EQ(form->doc.Program()[0].effect, 6);
    EXPECT_EQ(form->doc.Program()[0].value, 13);
    EXPECT_EQ(form->nProgList->item(0)->text(), QStringLiteral("001: p1 - 展开"));
}

}  // namespace
}  // namespace korvex::test
