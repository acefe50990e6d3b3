// The system settings page: the connection check from the port list, the
// effect list by firmware version, filling the controls, the live change
// and Save, and the pixel count field (also the pattern dialog's start).
#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QSpinBox>

#include "host/FrmPattern.h"
#include "link/korvex_api.h"
#include "model/line.h"
#include "tests/gui_main_fixture.h"

namespace korvex::test {
namespace {

using SettingsTest = MainWindowTest;

const QString kCfgCaption = QStringLiteral("系统配置");
const QString kSaved = QStringLiteral("      保存配置信息成功!      ");
const QString kNotSaved = QStringLiteral("      保存配置信息失败!      ");

uint16_t PixelsOf(const std::array<uint8_t, 256> &r)
{
    return uint16_t(r[8] << 8 | r[9]);
}

// ---- connection check and effect list ----

TEST_F(SettingsTest, FirmwareOneZeroOffersSixEffectsAndClearsASelectedSpreadOpen)
{
    StartController(ControllerRecord("1.0", 0, 2048, 0));
    Open();
    EXPECT_EQ(form->version, 10);
    EXPECT_EQ(Effects(), std::vector<QString>(kEightEffects.begin(), kEightEffects.begin() + 6));

    // Back to a controller with firmware 1.1 from the port list: eight
    // effects, the choice kept, the page unchanged.
    form->PageCtrl->setCurrentIndex(2);
    (*sim)->SetConfigRecord(ControllerRecord("1.1", 0, 2048, 0));
    PickPort(0);
    EXPECT_EQ(Effects(), kEightEffects);
    form->SelAnimation->setCurrentIndex(6);  // "展开"
    PickPort(0);
    EXPECT_EQ(form->SelAnimation->currentIndex(), 6);
    EXPECT_EQ(form->PageCtrl->currentIndex(), 2);

    // Version 10 again: the list is too short for the choice.
    (*sim)->SetConfigRecord(ControllerRecord("1.0", 0, 2048, 0));
    PickPort(0);
    EXPECT_EQ(form->SelAnimation->count(), 6);
    EXPECT_EQ(form->SelAnimation->currentIndex(), -1);
    form->SelAnimation->setCurrentIndex(3);
    PickPort(0);
    EXPECT_EQ(form->SelAnimation->currentIndex(), 3);
    EXPECT_EQ(form->PageCtrl->currentIndex(), 2);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsTest, FailedCheckFromThePortListKeepsPageSettingsAndEffects)
{
    StartController(ControllerRecord("1.0", 0x01, 800, 2));
    Open();
    ASSERT_TRUE(form->connected);
    const ConfigRecord before = form->hostCopy;
    form->PageCtrl->setCurrentIndex(2);
    // What the pattern dialog's pixels field starts with.
    const auto patternPixels = [this] {
        int pixels = -1;
        form->runPattern = [&](TFormMain *, TFormPattern &d) {
            pixels = d.vPixels->value();
            return 2;
        };
        form->MnuPatternClick();
        return pixels;
    };
    EXPECT_EQ(patternPixels(), 800);  // the controller's

    PickPort(1);  // nothing on port 2
    EXPECT_EQ(patternPixels(), 2048);
    EXPECT_EQ(form->PageCtrl->currentIndex(), 2);
    EXPECT_EQ(PanelColour(), kRed);
    EXPECT_EQ(form->sComState->text(), QStringLiteral("没有连接控制卡"));
    EXPECT_FALSE(form->connected);
    EXPECT_FALSE(form->BtnSendPict->isEnabled());
    EXPECT_FALSE(form->BtnSendProg->isEnabled());
    EXPECT_FALSE(form->BtnCfgSave->isEnabled());
    EXPECT_EQ(form->hostCopy, before);
    EXPECT_EQ(form->version, 10);
    EXPECT_EQ(form->SelAnimation->count(), 6);
    EXPECT_EQ(form->vWidth->value(), 800);
    EXPECT_EQ(form->nRGB->currentIndex(), 2);
    EXPECT_EQ(form->nComPort->currentIndex(), 1);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsTest, TooltipsFollowTheDevicesAndTellWhyACheckFailed)
{
    StartController();
    Open();
    ASSERT_TRUE(form->connected);
    // A device aimed at port 3 while the window runs shows up when the list drops down.
    setenv("KORVEX_COM3", (*sim)->SlavePath().c_str(), 1);
    form->nComPort->showPopup();
    form->nComPort->hidePopup();
    EXPECT_TRUE(form->nComPort->itemData(2, Qt::ToolTipRole)
                    .toString()
                    .startsWith(QString::fromStdString((*sim)->SlavePath())));

    // A controller whose reply is cut short: red as any failure, and the
    // tooltip says what came.
    (*sim)->SetFault(sim::Fault::ShortReply, (*sim)->FrameCount() + 1);
    PickPort(0);
    EXPECT_EQ(PanelColour(), kRed);
    EXPECT_EQ(form->sComState->text(), QStringLiteral("没有连接控制卡"));
    EXPECT_TRUE(form->Panel1->toolTip().endsWith(
        QStringLiteral("\n原因：控制卡的应答不完整（收到 1023 / 1024 字节）")))
        << form->Panel1->toolTip().toStdString();
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsTest, NoSignatureGivesBlankRecordAndLeavesTheControls)
{
    Open();  // no controller yet: the operator sets things up
    form->ChkData->setChecked(true);
    form->nRGB->setCurrentIndex(5);
    form->vWidth->setValue(640);

    StartController(ControllerRecord("1.1", 0x02, 100, 1, /*signature=*/false));
    PickPort(0);
    EXPECT_TRUE(form->connected);
    EXPECT_EQ(PanelColour(), kGreen);
    EXPECT_EQ(form->SelAnimation->count(), 6);  // version 11 but no signature
    EXPECT_EQ(form->hostCopy, BlankRecord());
    EXPECT_TRUE(form->ChkData->isChecked());
    EXPECT_FALSE(form->ChkOE->isChecked());
    EXPECT_EQ(form->nRGB->currentIndex(), 5);
    EXPECT_EQ(form->vWidth->value(), 640);
    EXPECT_EQ(form->PageCtrl->currentIndex(), 0);

    // Save writes a complete record from what the controls show.
    form->BtnCfgSave->setEnabled(true);
    form->BtnCfgSave->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kSaved);
    const auto stored = (*sim)->ConfigRecord();
    EXPECT_EQ(std::string(stored.begin(), stored.begin() + 6), std::string("Ver1.0"));
    EXPECT_EQ(stored[7], 0x01);
    EXPECT_EQ(PixelsOf(stored), 640);
    EXPECT_EQ(stored[18], 5);
    EXPECT_EQ(stored[16], 0);
}

TEST_F(SettingsTest, PixelCountZeroShowsSixteenEnablesSaveAndStoresSixteen)
{
    StartController(ControllerRecord("1.1", 0, 0, 0));
    Open();
    EXPECT_EQ(form->vWidth->value(), 16);
    EXPECT_TRUE(form->BtnCfgSave->isEnabled());
    form->BtnCfgSave->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kSaved);
    EXPECT_EQ(PixelsOf((*sim)->ConfigRecord()), 16);
    // Pixel count above the field's limit shows as 2048.
    (*sim)->SetConfigRecord(ControllerRecord("1.1", 0, 5000, 0));
    PickPort(0);
    EXPECT_EQ(form->vWidth->value(), 2048);
}

TEST_F(SettingsTest, ColourOrderSixLeavesNoSelectionAndStores255)
{
    StartController(ControllerRecord("1.1", 0, 2048, 6));
    Open();
    EXPECT_EQ(form->nRGB->currentIndex(), -1);

    form->ChkOE->click();  // live change
    EXPECT_EQ((*sim)->LastPayload('E').back(), 255);
    EXPECT_EQ(form->hostCopy[cfg::kColourOrder], 255);

    form->BtnCfgSave->click();
    EXPECT_EQ((*sim)->ConfigRecord()[18], 255);
}

// ---- live change ----

TEST_F(SettingsTest, LiveChangeActsOnlyWhileConnected)
{
    StartController(ControllerRecord("1.1", 0xFC, 2048, 0));  // bits 2..7 set by the controller
    Open();
    PickPort(1);  // nothing there: not connected
    ASSERT_FALSE(form->connected);
    (*sim)->ClearLog();

    form->ChkOE->click();
    EXPECT_TRUE(form->ChkOE->isChecked());  // only toggles the box
    EXPECT_EQ((*sim)->FrameCount(), 0);
    EXPECT_FALSE(form->settingsDirty);
    EXPECT_FALSE(form->BtnCfgSave->isEnabled());
    EXPECT_EQ(form->hostCopy[cfg::kFlags], 0xFC);

    PickPort(0);
    ASSERT_TRUE(form->connected);
    EXPECT_FALSE(form->ChkOE->isChecked());  // refilled from the record (bit 1 clear)
    EXPECT_EQ((*sim)->CountOf('E'), 0);      // filling sent nothing

    form->ChkData->click();
    form->nRGB->setCurrentIndex(3);
    emit form->nRGB->activated(3);
    EXPECT_EQ((*sim)->CountOf('E'), 2);
    const std::vector<uint8_t> payload = (*sim)->LastPayload('E');
    ASSERT_GE(payload.size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(payload.end() - 3, payload.end()),
              (std::vector<uint8_t>{1, 0, 3}));
    EXPECT_EQ(form->hostCopy[cfg::kFlags], 0x01);  // bits 2..7 cleared
    EXPECT_EQ(form->hostCopy[cfg::kColourOrder], 3);
    EXPECT_TRUE(form->settingsDirty);
    EXPECT_TRUE(form->BtnCfgSave->isEnabled());
    EXPECT_EQ((*sim)->CountOf('D'), 0);  // nothing stored
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsTest, ColourOrderChosenFromCodeSendsNothing)
{
    StartController(ControllerRecord("1.1", 0, 2048, 0));
    Open();
    form->nRGB->setCurrentIndex(2);
    EXPECT_EQ((*sim)->CountOf('E'), 0);
    EXPECT_FALSE(form->settingsDirty);
}

// ---- save ----

TEST_F(SettingsTest, SaveSuccessStoresRestartsAndDisablesTheButton)
{
    StartController(ControllerRecord("1.1", 0, 2048, 0));
    Open();
    form->ChkOE->click();
    form->vWidth->setValue(1000);
    ASSERT_TRUE(form->BtnCfgSave->isEnabled());

    form->BtnCfgSave->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kCfgCaption);
    EXPECT_EQ(boxes[0].text, kSaved);
    EXPECT_EQ(boxes[0].icon, MsgIcon::None);
    EXPECT_FALSE(form->settingsDirty);
    EXPECT_FALSE(form->BtnCfgSave->isEnabled());
    EXPECT_EQ((*sim)->CountOf('D'), 1);
    EXPECT_EQ(CountSoon('G', 1), 1);
    const auto stored = (*sim)->ConfigRecord();
    EXPECT_EQ(stored[7], 0x02);
    EXPECT_EQ(PixelsOf(stored), 1000);
    // The host copy keeps the version digits as read.
    EXPECT_EQ(form->hostCopy[5], '1');
}

TEST_F(SettingsTest, SaveWhileNotConnectedFailsWithoutTouchingThePort)
{
    StartController(ControllerRecord("1.1", 0, 2048, 0));
    Open();
    PickPort(1);
    (*sim)->ClearLog();
    form->vWidth->setValue(64);
    ASSERT_TRUE(form->BtnCfgSave->isEnabled());
    // A port left open by someone else: the Save closes it all the same.
    ASSERT_EQ(ComInitial(1, kBaud), 1);

    form->BtnCfgSave->click();
    EXPECT_EQ(ComClose(), 0);  // already closed
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kCfgCaption);
    EXPECT_EQ(boxes[0].text, kNotSaved);
    EXPECT_EQ(boxes[0].icon, MsgIcon::Error);
    EXPECT_FALSE(form->BtnCfgSave->isEnabled());
    EXPECT_EQ((*sim)->FrameCount(), 0);
    EXPECT_EQ(GetWord(form->hostCopy, cfg::kPixelCount), 64);  // set in the host copy anyway
}

TEST_F(SettingsTest, FailedSaveKeepsTheButtonOnlyWithUnsavedLiveChanges)
{
    StartController(ControllerRecord("1.1", 0, 2048, 0));
    Open();
    form->ChkData->click();
    ASSERT_TRUE(form->settingsDirty);
    (*sim)->SetFault(sim::Fault::NotOk, (*sim)->FrameCount() + 1);

    form->BtnCfgSave->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kNotSaved);
    EXPECT_EQ(boxes[0].icon, MsgIcon::Error);
    EXPECT_TRUE(form->settingsDirty);
    EXPECT_TRUE(form->BtnCfgSave->isEnabled());
    EXPECT_EQ(CountSoon('G', 1, 300), 0);
    (*sim)->SetFault(sim::Fault::None);

    // Only a pixel-count change pending: a failed save disables the button.
    PickPort(0);
    (*sim)->SetFault(sim::Fault::NotOk, (*sim)->FrameCount() + 1);
    form->settingsDirty = false;
    form->vWidth->setValue(32);
    ASSERT_TRUE(form->BtnCfgSave->isEnabled());
    form->BtnCfgSave->click();
    EXPECT_FALSE(form->BtnCfgSave->isEnabled());
}

// ---- pixel count field ----

TEST_F(SettingsTest, PixelCountFieldArrowsTypingAndNonNumbers)
{
    Open();
    auto *edit = form->vWidth->findChild<QLineEdit *>();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->maxLength(), 4);

    form->vWidth->setValue(100);
    form->vWidth->stepBy(1);
    EXPECT_EQ(form->vWidth->value(), 108);
    form->vWidth->setValue(20);
    form->vWidth->stepBy(-1);
    EXPECT_EQ(form->vWidth->value(), 16);
    form->vWidth->setValue(2044);
    form->vWidth->stepBy(1);
    EXPECT_EQ(form->vWidth->value(), 2048);

    // Typed values are not rounded, and are brought within the limits when
    // the field loses the focus.
    auto typeAndLeave = [&](const QString &text) {
        edit->setText(text);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(form->vWidth, &out);
    };
    typeAndLeave(QStringLiteral("1001"));
    EXPECT_EQ(form->vWidth->value(), 1001);
    typeAndLeave(QStringLiteral("5000"));
    EXPECT_EQ(form->vWidth->value(), 2048);
    EXPECT_EQ(form->vWidth->text(), QStringLiteral("2048"));
    typeAndLeave(QStringLiteral("5"));
    EXPECT_EQ(form->vWidth->value(), 16);

    // A text that is not a number saves as 16.
    form->BtnCfgSave->setEnabled(true);
    edit->setText(QString());
    form->BtnCfgSave->click();
    EXPECT_EQ(GetWord(form->hostCopy, cfg::kPixelCount), 16);
}

TEST_F(SettingsTest, PixelCountChangeEnablesSaveEvenWhenNotConnected)
{
    Open();
    ASSERT_FALSE(form->BtnCfgSave->isEnabled());
    form->vWidth->setValue(2048);  // no change of the shown value
    EXPECT_FALSE(form->BtnCfgSave->isEnabled());
    form->vWidth->stepBy(-1);
    EXPECT_TRUE(form->BtnCfgSave->isEnabled());
    EXPECT_FALSE(form->settingsDirty);
}

}  // namespace
}  // namespace korvex::test
