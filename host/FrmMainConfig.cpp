// System settings page: the connection check, the live change of the
// display flags and colour order, and storing the settings.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>

#include "app/settings_exchange.h"
#include "host/FrmMain.h"
#include "host/MessageBox.h"
#include "host/port_tips.h"
#include "host/spin_boxes.h"
#include "link/korvex_api.h"
#include "model/effects.h"

namespace korvex {

void TFormMain::nComPortChange(QObject *sender)
{
    const int remembered = SelAnimation->currentIndex();

    connected = false;
    BtnCfgSave->setEnabled(false);
    BtnSendProg->setEnabled(false);
    BtnSendPict->setEnabled(false);

    const bool ok = CheckConnection(PortNumber(), hostCopy);
    ShowPortStatusTip(nComPort, Panel1, PortNumber(), ok);

    QPalette panel = Panel1->palette();
    if (!ok) {
        panel.setColor(QPalette::Window, QColor(255, 0, 0));
        Panel1->setPalette(panel);
        sComState->setText(QStringLiteral("没有连接控制卡"));
        if (!sender)
            PageCtrl->setCurrentIndex(0);
        return;
    }

    version = VersionNumber(hostCopy);
    panel.setColor(QPalette::Window, QColor(0, 128, 0));
    Panel1->setPalette(panel);
    sComState->setText(QStringLiteral("已与控制卡连接"));

    SelAnimation->clear();
    for (int e = 0; e < kBasicEffectCount; ++e)
        SelAnimation->addItem(QString::fromUtf8(EffectText(e)));

    if (!HasSignature(hostCopy)) {
        hostCopy = BlankRecord();
    } else {
        // The connected flag is still clear: the boxes' handler sends nothing.
        ChkData->setChecked(DataInverted(hostCopy));
        ChkOE->setChecked(OeInverted(hostCopy));
        const uint8_t order = hostCopy[cfg::kColourOrder];
        nRGB->setCurrentIndex(order < nRGB->count() ? order : -1);
        vWidth->setValue(GetWord(hostCopy, cfg::kPixelCount));
        for (int e = kBasicEffectCount; e < EffectsOffered(hostCopy); ++e)
            SelAnimation->addItem(QString::fromUtf8(EffectText(e)));
    }

    SelAnimation->setCurrentIndex(remembered < SelAnimation->count() ? remembered : -1);
    repaint();

    connected = true;
    BtnSendPict->setEnabled(true);
    BtnSendProg->setEnabled(true);
    if (!sender)
        PageCtrl->setCurrentIndex(1);
}

// The settings the page's controls show; no colour order chosen is -1.
static DisplaySettings ShownSettings(const TFormMain *form, int pixelCount)
{
    DisplaySettings settings;
    settings.dataInverted = form->ChkData->isChecked();
    settings.oeInverted = form->ChkOE->isChecked();
    settings.colourOrder = form->nRGB->currentIndex();
    settings.pixelCount = pixelCount;
    return settings;
}

void TFormMain::ChangeCfgData(QObject *)
{
    const DisplaySettings settings = ShownSettings(this, vWidth->value());
    if (!connected)
        return;
    ApplyLive(hostCopy, settings, PortNumber());
    settingsDirty = true;
    BtnCfgSave->setEnabled(true);
}

void TFormMain::vWidthChange()
{
    BtnCfgSave->setEnabled(true);
}

void TFormMain::BtnCfgSaveClick()
{
    const DisplaySettings settings =
        ShownSettings(this, static_cast<WidthSpin *>(vWidth)->shownValue());
    bool ok = false;
    if (connected) {
        ok = StoreSettings(hostCopy, settings, PortNumber());
    } else {
        // Nothing to store them in: the host copy takes them, and the port
        // is closed as every save ends, so none is left open after a Save.
        PutSettings(hostCopy, settings);
        ComClose();
    }

    if (ok) {
        settingsDirty = false;
        ShowMessage(this, QStringLiteral("系统配置"),
                    QStringLiteral("      保存配置信息成功!      "), MsgIcon::None);
    } else {
        ShowMessage(this, QStringLiteral("系统配置"),
                    QStringLiteral("      保存配置信息失败!      "), MsgIcon::Error);
    }
    BtnCfgSave->setEnabled(connected && settingsDirty);
}

}  // namespace korvex
