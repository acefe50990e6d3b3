// The main window: construction of the three pages, start-up, the library
// file save and the system settings page. The picture and program page
// handlers live in FrmMainPattern.cpp and FrmMainProgram.cpp, the uploads in
// FrmMainUpload.cpp.
#include "host/FrmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "host/MessageBox.h"
#include "app/gbk_text.h"
#include "model/labels.h"
#include "app/profile.h"
#include "link/korvex_api.h"
#include "model/library_file.h"

namespace korvex {

namespace {

constexpr int kBaud = 38400;
constexpr int kMinWidth = 16;
constexpr int kMaxWidth = 2048;

// Every list box draws its items 12 pixels high.
class FixedRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(12);
        return s;
    }
};

// A list box whose click handler runs when the operator picks an item with
// the mouse or moves the selection with the keyboard, never when code
// changes the selection; the double-click handler runs on any double-click
// inside the list.
class ListBox : public QListWidget {
public:
    explicit ListBox(QWidget *parent) : QListWidget(parent)
    {
        setSelectionMode(QAbstractItemView::SingleSelection);
        setUniformItemSizes(true);
        setItemDelegate(new FixedRowDelegate(this));
        connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem *) {
            clicked_ = true;
            if (onClick)
                onClick();
        });
    }
    std::function<void()> onClick;
    std::function<void()> onDblClick;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const int before = currentRow();
        const int selectedBefore = SelectedRow();
        QListWidget::keyPressEvent(event);
        // A move of the current item, or Ctrl+Space taking the selection
        // off the current item.
        if ((currentRow() != before || SelectedRow() != selectedBefore) && onClick)
            onClick();
    }
    // The selection follows the mouse while the button is held, so a press
    // on one item and a release on another picks the second without a click
    // on either: the handler must still run, or the page would go on showing
    // (and a change would write) the item picked before.
    void mousePressEvent(QMouseEvent *event) override
    {
        rowAtPress_ = SelectedRow();
        QListWidget::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        clicked_ = false;
        QListWidget::mouseReleaseEvent(event);
        if (!clicked_ && SelectedRow() != rowAtPress_ && onClick)
            onClick();
    }
    void mouseDoubleClickEvent(QMouseEvent *event) override
    {
        QListWidget::mouseDoubleClickEvent(event);
        if (onDblClick)
            onDblClick();
    }

private:
    int SelectedRow() const
    {
        const QList<QListWidgetItem *> items = selectedItems();
        return items.isEmpty() ? -1 : row(items.first());
    }
    int rowAtPress_ = -1;
    bool clicked_ = false;
};

// The pixel count field: digits only, at most four of them. A typed value
// is not rounded; leaving the field brings it within 16..2048, and an empty
// text reads as 16.
class WidthSpin : public QSpinBox {
public:
    explicit WidthSpin(QWidget *parent) : QSpinBox(parent)
    {
        setRange(kMinWidth, kMaxWidth);
        setSingleStep(8);
        lineEdit()->setMaxLength(4);
        setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    }

    // The value as the field's text gives it: a non-number reads as 16,
    // a number is brought within the limits.
    int shownValue() const
    {
        bool ok = false;
        const int v = text().trimmed().toInt(&ok);
        if (!ok)
            return kMinWidth;
        return std::clamp(v, kMinWidth, kMaxWidth);
    }

protected:
    QValidator::State validate(QString &input, int &) const override
    {
        if (input.size() > 4)
            return QValidator::Invalid;
        for (QChar c : input)
            if (!c.isDigit())
                return QValidator::Invalid;
        bool ok = false;
        const int v = input.toInt(&ok);
        if (ok && v >= kMinWidth && v <= kMaxWidth)
            return QValidator::Acceptable;
        return QValidator::Intermediate;
    }
    void fixup(QString &input) const override
    {
        bool ok = false;
        const int v = input.trimmed().toInt(&ok);
        input = QString::number(ok ? std::clamp(v, kMinWidth, kMaxWidth) : kMinWidth);
    }
    int valueFromText(const QString &text) const override
    {
        bool ok = false;
        const int v = text.trimmed().toInt(&ok);
        return ok ? std::clamp(v, kMinWidth, kMaxWidth) : kMinWidth;
    }
};

// The speed or stay field: only the arrows (and arrow keys) change it.
class ArrowSpin : public QSpinBox {
public:
    explicit ArrowSpin(QWidget *parent) : QSpinBox(parent) { lineEdit()->setReadOnly(true); }
};

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

// The executable's path with its extension (if any) replaced by `ext`.
QString Sibling(const QString &exePath, const QString &ext)
{
    const QFileInfo info(exePath);
    QString name = info.fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        name.truncate(dot);
    return info.dir().filePath(name + ext);
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
    QFont f;
    f.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                   QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC")});
    f.setPixelSize(12);
    setFont(f);
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

    StaticText6 = MakeLabel(Config, QStringLiteral("象素点数"), 48, 128);
    auto *width = new WidthSpin(Config);
    vWidth = width;
    vWidth->setGeometry(104, 124, 73, 21);
    vWidth->setValue(kMaxWidth);

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
    MnuSendSelected = PictMenu->addAction(QStringLiteral("发送选中图形"));
    PictList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(PictList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PictListPopup(pos); });
    connect(MnuSendSelected, &QAction::triggered, this, [this] { MnuSendSelectedClick(); });

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
    SelAnimation->addItems({QStringLiteral("显示"), QStringLiteral("渐显"), QStringLiteral("左移"),
                            QStringLiteral("右移"), QStringLiteral("渐隐"), QStringLiteral("等待"),
                            QStringLiteral("展开"), QStringLiteral("收拢")});
    SelAnimation->setCurrentIndex(-1);

    sSpeedStay = MakeLabel(ProgList, QStringLiteral("速度"), 244, 204);
    vSpeedStay = new ArrowSpin(ProgList);
    vSpeedStay->setGeometry(272, 200, 37, 21);
    vSpeedStay->setRange(0, 31);
    vSpeedStay->setSingleStep(1);
    vSpeedStay->setValue(31);
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
    // 1. Icon beside the executable.
    const QString iconPath = Sibling(exePath_, QStringLiteral(".Ico"));
    if (QFileInfo::exists(iconPath)) {
        QImageReader reader(iconPath);
        const QImage image = reader.read();
        if (image.isNull()) {
            ShowMessage(this, AppTitle(), QStringLiteral("Icon image is not valid"),
                        MsgIcon::Error);
            return;
        }
        QIcon icon(iconPath);
        QApplication::setWindowIcon(icon);
        setWindowIcon(icon);
    }

    // 2. Title from the settings file (an absent key gives an empty title).
    const QString iniPath = Sibling(exePath_, QStringLiteral(".Ini"));
    if (QFileInfo::exists(iniPath))
        setWindowTitle(
            QString::fromStdString(ReadProfileString(iniPath.toStdString(), "Setup", "Title", "")));

    // 3. and 4. The library file.
    libraryPath = Sibling(exePath_, QStringLiteral(".Dat"));
    int pictureCount = 0;
    int programLength = 0;
    if (QFileInfo::exists(libraryPath)) {
        auto data = std::make_unique<LibraryData>();
        std::string error;
        const bool ok = LoadLibraryFile(libraryPath.toStdString(), *data, error);
        // Whatever was read is in memory, as a straight read into the
        // tables would leave it.
        pictures = data->pictures;
        program = data->program;
        if (!ok) {
            ShowMessage(this, AppTitle(), QString::fromStdString(error), MsgIcon::Error);
            return;
        }
        pictureCount = data->pictureCount;
        programLength = data->programLength;
    }

    // 5. Picture labels in both picture lists.
    for (int i = 0; i < pictureCount; ++i) {
        const QString label =
            QString::fromStdString(PictureLabel(i + 1, GbkToUtf8(NameOf(pictures[i]))));
        PictList->addItem(label);
        nPictList->addItem(label);
    }

    // 6. Program list.
    RebuildProgList(programLength);

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

// ------------------------------------------------------------ library file

void TFormMain::BtnSavePictClick()
{
    auto data = std::make_unique<LibraryData>();
    data->pictures = pictures;
    data->program = program;
    data->pictureCount = PictList->count();
    data->programLength = nProgList->count();
    std::string error;
    if (!SaveLibraryFile(libraryPath.toStdString(), *data, error)) {
        ShowMessage(this, AppTitle(), QString::fromStdString(error), MsgIcon::Error);
        return;
    }
    picturesDirty = false;
    BtnSavePict->setEnabled(false);
    programDirty = false;
    BtnSaveProgList->setEnabled(false);
}

// ------------------------------------------------------ system settings page

void TFormMain::nComPortChange(QObject *sender)
{
    const int remembered = SelAnimation->currentIndex();

    connected = false;
    BtnCfgSave->setEnabled(false);
    BtnSendProg->setEnabled(false);
    BtnSendPict->setEnabled(false);

    bool ok = ComInitial(PortNumber(), kBaud) != 0;
    if (ok)
        ok = ReadConfigRecord(hostCopy);
    ComClose();

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
    SelAnimation->addItems({QStringLiteral("显示"), QStringLiteral("渐显"), QStringLiteral("左移"),
                            QStringLiteral("右移"), QStringLiteral("渐隐"),
                            QStringLiteral("等待")});

    if (!HasSignature(hostCopy)) {
        hostCopy = BlankRecord();
    } else {
        // The connected flag is still clear: the boxes' handler sends nothing.
        const uint8_t flags = hostCopy[cfg::kFlags];
        ChkData->setChecked((flags & 1) != 0);
        ChkOE->setChecked((flags & 2) != 0);
        const uint8_t order = hostCopy[cfg::kColourOrder];
        nRGB->setCurrentIndex(order < nRGB->count() ? order : -1);
        vWidth->setValue(GetWord(hostCopy, cfg::kPixelCount));
        if (version > 10)
            SelAnimation->addItems({QStringLiteral("展开"), QStringLiteral("收拢")});
    }

    SelAnimation->setCurrentIndex(remembered < SelAnimation->count() ? remembered : -1);
    repaint();

    connected = true;
    BtnSendPict->setEnabled(true);
    BtnSendProg->setEnabled(true);
    if (!sender)
        PageCtrl->setCurrentIndex(1);
}

void TFormMain::ChangeCfgData(QObject *)
{
    uint8_t triple[3] = {
        static_cast<uint8_t>(ChkData->isChecked() ? 1 : 0),
        static_cast<uint8_t>(ChkOE->isChecked() ? 1 : 0),
        static_cast<uint8_t>(nRGB->currentIndex()),  // none selected gives 255
    };
    if (!connected)
        return;
    hostCopy[cfg::kFlags] = static_cast<uint8_t>(triple[1] * 2 + triple[0]);
    hostCopy[cfg::kColourOrder] = triple[2];
    if (ComInitial(PortNumber(), kBaud))
        WriteNotSave(triple);
    ComClose();
    settingsDirty = true;
    BtnCfgSave->setEnabled(true);
}

void TFormMain::vWidthChange()
{
    BtnCfgSave->setEnabled(true);
}

void TFormMain::BtnCfgSaveClick()
{
    hostCopy[cfg::kFlags] =
        static_cast<uint8_t>((ChkOE->isChecked() ? 2 : 0) + (ChkData->isChecked() ? 1 : 0));
    hostCopy[cfg::kColourOrder] = static_cast<uint8_t>(nRGB->currentIndex());
    SetWord(hostCopy, cfg::kPixelCount,
            static_cast<uint16_t>(static_cast<WidthSpin *>(vWidth)->shownValue()));

    bool ok = false;
    if (connected && ComInitial(PortNumber(), kBaud) && WriteConfigRecord(hostCopy))
        ok = ResetCard() != 0;
    ComClose();

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
