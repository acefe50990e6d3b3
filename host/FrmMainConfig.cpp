// System settings page: its widgets, the connection check, the live change
// of the display flags and colour order, and storing the settings.
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
#include "host/page_widgets.h"
#include "host/port_tips.h"
#include "host/spin_boxes.h"
#include "link/korvex_api.h"
#include "model/effects.h"

namespace korvex {

void TFormMain::BuildConfigPage()
{
    Panel1 = new QFrame(Config);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(24, 12, 289, 37);
    Panel1->setAutoFillBackground(true);

    sComState = new QLabel(Panel1);
    sComState->setGeometry(52, 12, 189, 21);
    sComState->setAlignment(Qt::AlignCenter);
    QFont stateFont = font();
    stateFont.setPixelSize(14);
    sComState->setFont(stateFont);
    QPalette statePalette = sComState->palette();
    statePalette.setColor(QPalette::WindowText, Qt::white);
    sComState->setPalette(statePalette);

    StaticText2 = MakeLabel(Config, QStringLiteral("计算机串口"), 88, 68);
    nComPort = new QComboBox(Config);
    nComPort->setGeometry(156, 64, 73, 20);
    for (int i = 1; i <= 8; ++i)
        nComPort->addItem(QStringLiteral(" Com%1").arg(i));
    nComPort->setCurrentIndex(0);
    InstallPortTips(nComPort);

    StaticText6 = MakeLabel(Config, QStringLiteral("象素点数"), 48, 128);
    auto *width = new WidthSpin(Config);
    vWidth = width;
    vWidth->setGeometry(104, 124, 73, 21);
    vWidth->setValue(kPixelCountMax);

    StaticText1 = MakeLabel(Config, QStringLiteral("颜色顺序"), 48, 160);
    nRGB = new QComboBox(Config);
    nRGB->setGeometry(104, 156, 73, 20);
    nRGB->addItems({QStringLiteral("红 绿 蓝"), QStringLiteral("红 蓝 绿"),
                    QStringLiteral("绿 红 蓝"), QStringLiteral("绿 蓝 红"),
                    QStringLiteral("蓝 红 绿"), QStringLiteral("蓝 绿 红")});
    nRGB->setCurrentIndex(0);

    ChkOE = new QCheckBox(QStringLiteral("消隐反相"), Config);
    ChkOE->setGeometry(216, 128, 73, 17);
    ChkData = new QCheckBox(QStringLiteral("数据反相"), Config);
    ChkData->setGeometry(216, 156, 73, 17);

    BtnCfgSave = MakeButton(Config, QStringLiteral("保  存"), 136, 208, 75, 25, false);

    // A port picked by the operator (also the same one again) runs the check.
    connect(nComPort, &QComboBox::activated, this, [this](int) { nComPortChange(nComPort); });
    // Ticking a box from code runs the live change too; it does nothing
    // while not connected. The colour order runs it only when the operator
    // picks an item.
    connect(ChkOE, &QCheckBox::toggled, this, [this](bool) { ChangeCfgData(ChkOE); });
    connect(ChkData, &QCheckBox::toggled, this, [this](bool) { ChangeCfgData(ChkData); });
    connect(nRGB, &QComboBox::activated, this, [this](int) { ChangeCfgData(nRGB); });
    connect(vWidth, &QSpinBox::valueChanged, this, [this](int) { vWidthChange(); });
    connect(BtnCfgSave, &QPushButton::clicked, this, [this] { BtnCfgSaveClick(); });
}

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
