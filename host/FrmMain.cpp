// The main window: construction of the three pages, start-up and the library
// file save. The page handlers live in FrmMainConfig.cpp (system settings),
// FrmMainPattern.cpp (pictures) and FrmMainProgram.cpp (program), the
// uploads in FrmMainUpload.cpp, the reads of the controller in
// FrmMainReadBack.cpp.
#include "host/FrmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <memory>

#include "app/file_locations.h"
#include "app/library_store.h"
#include "app/profile.h"
#include "app/program_font.h"
#include "host/MessageBox.h"
#include "host/list_box.h"
#include "host/port_tips.h"
#include "host/program_icon.h"
#include "host/spin_boxes.h"
#include "model/effects.h"
#include "model/library_file.h"

namespace korvex {

namespace {

QLabel *MakeLabel(QWidget *page, const QString &text, int x, int y)
{
    auto *label = new QLabel(text, page);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QPushButton *MakeButton(QWidget *page, const QString &text, int x, int y, int w, int h,
                        bool enabled)
{
    auto *button = new QPushButton(text, page);
    button->setGeometry(x, y, w, h);
    button->setAutoDefault(false);
    button->setEnabled(enabled);
    return button;
}

QString AppTitle()
{
    const QString title = QGuiApplication::applicationDisplayName();
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

}  // namespace

TFormMain::TFormMain(const QString &exePath, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      exePath_(exePath.isEmpty() ? QCoreApplication::applicationFilePath() : exePath)
{
    setWindowTitle(QStringLiteral("护栏管 V1.5"));
    setFont(ProgramFont(12));
    setFixedSize(342, 279);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    PageCtrl = new QTabWidget(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageCtrl);

    Config = new QWidget;
    Pattern = new QWidget;
    ProgList = new QWidget;
    PageCtrl->addTab(Config, QStringLiteral("系统设置"));
    PageCtrl->addTab(Pattern, QStringLiteral("图形管理"));
    PageCtrl->addTab(ProgList, QStringLiteral("节目编排"));

    BuildConfigPage();
    BuildPatternPage();
    BuildProgListPage();
    PageCtrl->setCurrentIndex(0);

    FormCreate();
}

TFormMain::~TFormMain() = default;

int TFormMain::PortNumber() const
{
    return nComPort->currentIndex() + 1;
}

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

void TFormMain::BuildPatternPage()
{
    Pict = new QLabel(Pattern);
    Pict->setGeometry(12, 4, 317, 9);

    auto *pictList = new ListBox(Pattern);
    PictList = pictList;
    PictList->setGeometry(28, 20, 145, 213);
    pictList->onClick = [this] { PictListClick(); };
    PictMenu = new QMenu(PictList);
    MnuPattern = PictMenu->addAction(QStringLiteral("生成图形..."));
    connect(MnuPattern, &QAction::triggered, this, [this] { MnuPatternClick(); });
    MnuSendSelected = PictMenu->addAction(QStringLiteral("发送选中图形"));
    MnuReadCard = PictMenu->addAction(QStringLiteral("从控制卡读取"));
    MnuCheckCard = PictMenu->addAction(QStringLiteral("与控制卡核对"));
    PictList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(PictList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PictListPopup(pos); });
    connect(MnuSendSelected, &QAction::triggered, this, [this] { MnuSendSelectedClick(); });
    connect(MnuReadCard, &QAction::triggered, this, [this] { MnuReadCardClick(); });
    connect(MnuCheckCard, &QAction::triggered, this, [this] { MnuCheckCardClick(); });

    BtnNew = MakeButton(Pattern, QStringLiteral("新  建"), 216, 32, 75, 25, true);
    BtnNew->setDefault(true);
    BtnReplace = MakeButton(Pattern, QStringLiteral("替  换"), 216, 64, 75, 25, false);
    BtnDelete = MakeButton(Pattern, QStringLiteral("删  除"), 216, 96, 75, 25, false);
    BtnRename = MakeButton(Pattern, QStringLiteral("改  名"), 216, 128, 75, 25, false);
    BtnSavePict = MakeButton(Pattern, QStringLiteral("保  存"), 216, 160, 75, 25, false);
    BtnSendPict = MakeButton(Pattern, QStringLiteral("发  送"), 216, 192, 75, 25, false);

    // Along the page's bottom edge, 12 high; placed again whenever the page
    // is resized (eventFilter).
    PrgBar = new QProgressBar(Pattern);
    PrgBar->setTextVisible(false);
    PrgBar->setRange(0, 0);
    PrgBar->setValue(0);
    PrgBar->hide();
    Pattern->installEventFilter(this);

    QWidget::setTabOrder(PictList, BtnNew);
    QWidget::setTabOrder(BtnNew, BtnReplace);
    QWidget::setTabOrder(BtnReplace, BtnRename);
    QWidget::setTabOrder(BtnRename, BtnSavePict);
    QWidget::setTabOrder(BtnSavePict, BtnSendPict);
    QWidget::setTabOrder(BtnSendPict, PrgBar);
    QWidget::setTabOrder(PrgBar, BtnDelete);

    // Enter on this page presses a focused button, otherwise New, the
    // page's default button.
    for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *enter = new QShortcut(QKeySequence(key), Pattern);
        enter->setContext(Qt::WidgetWithChildrenShortcut);
        connect(enter, &QShortcut::activated, this, [this] {
            auto *focused = qobject_cast<QPushButton *>(QApplication::focusWidget());
            QPushButton *target = focused && focused->parentWidget() == Pattern ? focused : BtnNew;
            if (target->isEnabled() && target->isVisible())
                target->click();
        });
    }

    connect(BtnNew, &QPushButton::clicked, this, [this] { BtnNewClick(); });
    connect(BtnReplace, &QPushButton::clicked, this, [this] { BtnReplaceClick(); });
    connect(BtnDelete, &QPushButton::clicked, this, [this] { BtnDeleteClick(); });
    connect(BtnRename, &QPushButton::clicked, this, [this] { BtnRenameClick(); });
    connect(BtnSavePict, &QPushButton::clicked, this, [this] { BtnSavePictClick(); });
    connect(BtnSendPict, &QPushButton::clicked, this, [this] { BtnSendPictClick(); });
}

void TFormMain::BuildProgListPage()
{
    StaticText4 = MakeLabel(ProgList, QStringLiteral("图  形"), 64, 12);
    StaticText5 = MakeLabel(ProgList, QStringLiteral("播  放"), 228, 12);

    auto *pictList = new ListBox(ProgList);
    nPictList = pictList;
    nPictList->setGeometry(8, 28, 145, 217);
    pictList->onDblClick = [this] { nPictListDblClick(); };

    auto *progList = new ListBox(ProgList);
    nProgList = progList;
    nProgList->setGeometry(160, 28, 165, 169);
    progList->onClick = [this] { nProgListClick(); };

    StaticText3 = MakeLabel(ProgList, QStringLiteral("效果"), 160, 204);
    SelAnimation = new QComboBox(ProgList);
    SelAnimation->setGeometry(188, 200, 49, 20);
    for (int e = 0; e < kEffectCount; ++e)
        SelAnimation->addItem(QString::fromUtf8(EffectText(e)));
    SelAnimation->setCurrentIndex(-1);

    sSpeedStay = MakeLabel(ProgList, QStringLiteral("速度"), 244, 204);
    vSpeedStay = new ArrowSpin(ProgList);
    vSpeedStay->setGeometry(272, 200, 37, 21);
    vSpeedStay->setRange(kValueMin, kValueMax);
    vSpeedStay->setSingleStep(1);
    vSpeedStay->setValue(kValueMax);
    sUnit = MakeLabel(ProgList, QStringLiteral("秒"), 312, 204);
    sUnit->hide();

    BtnDelProg = MakeButton(ProgList, QStringLiteral("删 除"), 160, 224, 53, 21, false);
    BtnSaveProgList = MakeButton(ProgList, QStringLiteral("保  存"), 218, 224, 53, 21, false);
    BtnSendProg = MakeButton(ProgList, QStringLiteral("发  送"), 276, 224, 49, 21, false);

    // The effect list's handler runs only for the operator's choice; the
    // value field's runs for every change of its value, also from code.
    connect(SelAnimation, &QComboBox::activated, this,
            [this](int) { SelAnimationChange(SelAnimation); });
    connect(vSpeedStay, &QSpinBox::valueChanged, this,
            [this](int) { SelAnimationChange(vSpeedStay); });
    connect(BtnDelProg, &QPushButton::clicked, this, [this] { BtnDelProgClick(); });
    connect(BtnSaveProgList, &QPushButton::clicked, this, [this] { BtnSavePictClick(); });
    connect(BtnSendProg, &QPushButton::clicked, this, [this] { BtnSendProgClick(); });
}

bool TFormMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Pattern && event->type() == QEvent::Resize)
        PrgBar->setGeometry(0, Pattern->height() - 12, Pattern->width(), 12);
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------- start-up

void TFormMain::FormCreate()
{
    // The three files, beside the executable or in the user's folders.
    const FileLocations files = LocateFiles(ActiveLayout(), exePath_);

    // 1. Icon file, else the program's own.
    const QString iconPath = files.icon;
    QIcon icon = ProgramIcon();
    if (QFileInfo::exists(iconPath)) {
        QImageReader reader(iconPath);
        const QImage image = reader.read();
        if (image.isNull()) {
            ShowMessage(this, AppTitle(), QStringLiteral("Icon image is not valid"),
                        MsgIcon::Error);
            return;
        }
        icon = QIcon(iconPath);
    }
    QApplication::setWindowIcon(icon);
    setWindowIcon(icon);

    // 2. Title from the settings file (an absent key gives an empty title).
    const QString iniPath = files.settings;
    if (QFileInfo::exists(iniPath))
        setWindowTitle(
            QString::fromStdString(ReadProfileString(iniPath.toStdString(), "Setup", "Title", "")));

    // 3. and 4. The library file.
    libraryPath = files.library;
    {
        auto data = std::make_unique<LibraryData>();
        const OpenedLibrary opened =
            OpenLibraryFile(libraryPath.toStdString(), *data, /*missingIsEmpty=*/true);
        if (opened.opening != LibraryOpening::Missing)
            doc.Load(*data);
        if (opened.opening == LibraryOpening::Unreadable) {
            ShowMessage(this, AppTitle(), QString::fromStdString(opened.reason), MsgIcon::Error);
            return;
        }
    }

    // 5. and 6. Picture labels in both picture lists, and the program list.
    ListLibrary();

    // 7. Flags.
    connected = false;
    picturesDirty = false;
    settingsDirty = false;
    programDirty = false;

    // 8. Port 1 (no change event) and the connection check, which picks the page.
    {
        const QSignalBlocker block(nComPort);
        nComPort->setCurrentIndex(0);
    }
    nComPortChange(nullptr);
}

void TFormMain::ListLibrary()
{
    {
        const QSignalBlocker blockA(PictList);
        const QSignalBlocker blockB(nPictList);
        const QSignalBlocker blockC(nProgList);
        PictList->clear();
        nPictList->clear();
        nProgList->clear();
    }
    for (int i = 0; i < doc.PictureCount(); ++i) {
        const QString label = QString::fromStdString(doc.PictureLabel(i));
        PictList->addItem(label);
        nPictList->addItem(label);
    }
    RebuildProgList(doc.ProgramLength());
}

// ------------------------------------------------------------ library file

void TFormMain::BtnSavePictClick()
{
    auto data = std::make_unique<LibraryData>();
    doc.Store(*data);
    const SavedLibrary saved = SaveLibraryData(libraryPath.toStdString(), *data);
    if (!saved.ok) {
        ShowMessage(this, AppTitle(), QString::fromStdString(saved.reason), MsgIcon::Error);
        return;
    }
    picturesDirty = false;
    BtnSavePict->setEnabled(false);
    programDirty = false;
    BtnSaveProgList->setEnabled(false);
}

}  // namespace korvex
