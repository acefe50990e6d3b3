// The main window: its construction, start-up and the library file save.
// Each page's widgets and handlers live in the page's own file:
// FrmMainConfig.cpp (system settings), FrmMainPictures.cpp (pictures) and
// FrmMainProgram.cpp (program); the uploads in FrmMainUpload.cpp, the reads
// of the controller in FrmMainReadBack.cpp.
#include "host/FrmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>
#include <memory>

#include "app/file_locations.h"
#include "app/library_store.h"
#include "app/profile.h"
#include "app/program_font.h"
#include "host/MessageBox.h"
#include "host/program_icon.h"
#include "model/library_file.h"

namespace korvex {

namespace {

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
