// Start-up of the main window: the files beside the executable or in the
// user's folders, the lists, the connection check and the page it chooses,
// Qt's own texts; and the library file save.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "tests/gui_main_fixture.h"
#include "host/program_icon.h"
#include "app/file_locations.h"
#include "app/qt_translation.h"

namespace korvex::test {
namespace {

using StartupTest = MainWindowTest;

// ---- without and with a controller ----

TEST_F(StartupTest, WithoutControllerShowsSettingsPageRedAndAllEightEffects)
{
    Open();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("护栏管 V1.5"));
    EXPECT_EQ(form->PageCtrl->currentIndex(), 0);
    EXPECT_EQ(form->PageCtrl->count(), 3);
    EXPECT_EQ(form->PageCtrl->tabText(0), QStringLiteral("系统设置"));
    EXPECT_EQ(form->PageCtrl->tabText(1), QStringLiteral("图形管理"));
    EXPECT_EQ(form->PageCtrl->tabText(2), QStringLiteral("节目编排"));
    EXPECT_EQ(PanelColour(), kRed);
    EXPECT_EQ(form->sComState->text(), QStringLiteral("没有连接控制卡"));
    EXPECT_FALSE(form->connected);
    EXPECT_FALSE(form->BtnSendPict->isEnabled());
    EXPECT_FALSE(form->BtnSendProg->isEnabled());
    EXPECT_FALSE(form->BtnCfgSave->isEnabled());
    EXPECT_EQ(Effects(), kEightEffects);
    EXPECT_EQ(form->SelAnimation->currentIndex(), -1);
    EXPECT_EQ(form->PictList->count(), 0);
    EXPECT_EQ(form->nComPort->currentIndex(), 0);
    EXPECT_EQ(form->nComPort->itemText(0), QStringLiteral(" Com1"));
    // Each item keeps its text and names its device in its tooltip; the
    // status panel's tooltip names the device and why the check failed.
    auto aimedAt = [](int port) {
        return QString::fromLocal8Bit(qgetenv(QByteArray("KORVEX_COM") + QByteArray::number(port)));
    };
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(form->nComPort->itemText(i), QStringLiteral(" Com%1").arg(i + 1));
        EXPECT_EQ(form->nComPort->itemData(i, Qt::ToolTipRole).toString(),
                  QStringLiteral("%1（由 KORVEX_COM%2 指定）").arg(aimedAt(i + 1)).arg(i + 1));
    }
    EXPECT_EQ(form->Panel1->toolTip(),
              QStringLiteral("设备：%1（由 KORVEX_COM1 指定）\n原因：设备不存在").arg(aimedAt(1)));
    EXPECT_EQ(form->vWidth->value(), 2048);
    EXPECT_TRUE(form->PrgBar->isHidden());
    EXPECT_TRUE(form->sUnit->isHidden());
    EXPECT_EQ(form->vSpeedStay->value(), 31);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(form->libraryPath, Sibling(".Dat"));
}

TEST_F(StartupTest, WithControllerShowsPicturePageGreenAndFillsSettings)
{
    // Flags 3 (both inverted), 512 pixels, colour order 4, firmware 1.1.
    StartController(ControllerRecord("1.1", 0x03, 512, 4));
    Open();
    EXPECT_EQ(form->PageCtrl->currentIndex(), 1);
    EXPECT_EQ(PanelColour(), kGreen);
    EXPECT_EQ(form->sComState->text(), QStringLiteral("已与控制卡连接"));
    const QString pty = QString::fromStdString((*sim)->SlavePath());
    EXPECT_EQ(form->Panel1->toolTip(), QStringLiteral("设备：%1（由 KORVEX_COM1 指定）").arg(pty));
    EXPECT_TRUE(form->nComPort->itemData(0, Qt::ToolTipRole).toString().startsWith(pty));
    EXPECT_TRUE(form->connected);
    EXPECT_TRUE(form->BtnSendPict->isEnabled());
    EXPECT_TRUE(form->BtnSendProg->isEnabled());
    EXPECT_EQ(form->version, 11);
    EXPECT_EQ(Effects(), kEightEffects);

    EXPECT_TRUE(form->ChkData->isChecked());
    EXPECT_TRUE(form->ChkOE->isChecked());
    EXPECT_EQ(form->nRGB->currentIndex(), 4);
    EXPECT_EQ(form->vWidth->value(), 512);
    // The shown pixel count changed (2048 -> 512), which enables Save; the
    // ticked boxes ran their handler with the flag clear: nothing was sent
    // and nothing is dirty.
    EXPECT_TRUE(form->BtnCfgSave->isEnabled());
    EXPECT_FALSE(form->settingsDirty);
    EXPECT_EQ((*sim)->CountOf('E'), 0);
    EXPECT_EQ((*sim)->CountOf('A'), 1);
    EXPECT_EQ((*sim)->FrameCount(), 1);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(StartupTest, UnchangedPixelCountLeavesSaveDisabled)
{
    StartController(ControllerRecord("1.1", 0, 2048, 0));
    Open();
    EXPECT_TRUE(form->connected);
    EXPECT_FALSE(form->BtnCfgSave->isEnabled());
}

// ---- the files beside the executable ----

TEST_F(StartupTest, SettingsFileTitleBecomesCaptionAndMissingKeyEmptiesIt)
{
    WriteFile(".Ini", QByteArray("[Setup]\r\nTitle=现场一号\r\n"));
    Open();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("现场一号"));

    form.reset();
    WriteFile(".Ini", QByteArray("[Setup]\r\nOther=1\r\n"));
    Open();
    EXPECT_EQ(form->windowTitle(), QString());

    form.reset();
    // GBK text, section and key in another letter case.
    WriteFile(".Ini", QByteArray("[setup]\r\ntitle=") +
                          QByteArray::fromStdString(Utf8ToGbk("护栏二号")) + "\r\n");
    Open();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("护栏二号"));
}

// A FIFO in the settings file's place would block start-up until some
// other program writes to it, and a huge file would be read whole: neither
// may delay the window. A FIFO counts as no readable file (empty caption);
// of a huge file only the start is read.
TEST_F(StartupTest, SettingsFileThatIsAFifoOrHugeDoesNotDelayStartUp)
{
    const QByteArray ini = QFile::encodeName(Sibling(".Ini"));
    ASSERT_EQ(mkfifo(ini.constData(), 0600), 0);
    // A reader blocked on the FIFO is released after 3 s, so a wrong one
    // shows as slow instead of hanging the test.
    std::atomic<bool> done{false};
    std::thread release([&] {
        QElapsedTimer t;
        t.start();
        while (!done) {
            if (t.elapsed() > 3000) {
                const int fd = ::open(ini.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0)
                    ::close(fd);
            }
            QThread::msleep(10);
        }
    });
    QElapsedTimer clock;
    clock.start();
    Open();
    const qint64 fifoMs = clock.elapsed();
    done = true;
    release.join();
    EXPECT_LT(fifoMs, 2000);
    EXPECT_EQ(form->windowTitle(), QString());

    form.reset();
    ASSERT_EQ(::unlink(ini.constData()), 0);
    WriteFile(".Ini", QByteArray("[Setup]\r\nTitle=big\r\n"));
    ASSERT_EQ(::truncate(ini.constData(), 300LL * 1024 * 1024), 0);  // one 300 MB line of zeros
    clock.restart();
    Open();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("big"));
}

TEST_F(StartupTest, IconFileBecomesWindowIconAndABrokenOneStopsStartUp)
{
    // Without the file the window shows the program's own icon.
    Open();
    EXPECT_EQ(form->windowIcon().pixmap(32).toImage(), ProgramIcon().pixmap(32).toImage());

    form.reset();
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(Sibling(".Ico"), "ICO"));
    Open();
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_EQ(form->windowIcon().pixmap(16).toImage().pixel(8, 8), QColor(Qt::blue).rgb());
    EXPECT_TRUE(boxes.empty());

    form.reset();
    WriteFile(".Ico", QByteArray("not an icon"));
    WriteLibrary({"abc"});
    Open();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, MsgIcon::Error);
    EXPECT_FALSE(boxes[0].text.isEmpty());
    EXPECT_EQ(form->PictList->count(), 0);  // stopped before the library
    EXPECT_EQ(form->sComState->text(), QString());
}

TEST_F(StartupTest, LibraryFileFillsBothPictureListsWithZeroFilledLabels)
{
    std::vector<std::string> names;
    for (int i = 1; i <= 12; ++i)
        names.push_back(i == 1 ? "abc" : i == 2 ? "护栏" : "p" + std::to_string(i));
    WriteLibrary(names, 2);
    Open();
    ASSERT_EQ(form->PictList->count(), 12);
    ASSERT_EQ(form->nPictList->count(), 12);
    EXPECT_EQ(form->PictList->item(0)->text(), QStringLiteral("001: abc"));
    EXPECT_EQ(form->PictList->item(1)->text(), QStringLiteral("002: 护栏"));
    EXPECT_EQ(form->PictList->item(11)->text(), QStringLiteral("012: p12"));
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(form->nPictList->item(i)->text(), form->PictList->item(i)->text());
    EXPECT_EQ(form->nProgList->count(), 2);
    EXPECT_FALSE(form->BtnSavePict->isEnabled());
    EXPECT_FALSE(form->BtnSaveProgList->isEnabled());
    EXPECT_FALSE(form->picturesDirty);
    EXPECT_FALSE(form->programDirty);
}

TEST_F(StartupTest, ShortLibraryFileReportsAndStopsBeforeTheConnectionCheck)
{
    StartController();
    WriteFile(".Dat", QByteArray(995191, '\0'));
    Open();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Read beyond end of file"));
    EXPECT_EQ(boxes[0].icon, MsgIcon::Error);
    EXPECT_FALSE(boxes[0].caption.isEmpty());
    EXPECT_EQ(form->PictList->count(), 0);
    EXPECT_EQ(form->nPictList->count(), 0);
    EXPECT_EQ(form->PageCtrl->currentIndex(), 0);
    EXPECT_EQ(form->sComState->text(), QString());
    EXPECT_FALSE(form->connected);
    EXPECT_FALSE(form->BtnSendPict->isEnabled());
    EXPECT_EQ((*sim)->FrameCount(), 0);  // no connection check ran
}

// ---- the installed layout: the user's own folders ----

// HOME aimed at a temporary folder (no XDG_*_HOME) and the installed
// layout, for one test.
class InstalledLayout {
public:
    InstalledLayout()
    {
        for (const char *var : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
            saved_.emplace_back(var, qEnvironmentVariableIsSet(var)
                                         ? std::optional<QByteArray>(qgetenv(var))
                                         : std::nullopt);
            qunsetenv(var);
        }
        qputenv("HOME", home_.path().toLocal8Bit());
        SetLayoutForTest(FileLayout::Installed);
    }
    ~InstalledLayout()
    {
        SetLayoutForTest(std::nullopt);
        for (const auto &[var, value] : saved_) {
            if (value)
                qputenv(var, *value);
            else
                qunsetenv(var);
        }
    }
    QString Home(const char *path) const { return home_.filePath(QLatin1String(path)); }

private:
    QTemporaryDir home_;
    std::vector<std::pair<const char *, std::optional<QByteArray>>> saved_;
};

TEST_F(StartupTest, InstalledLayoutKeepsTheFilesInTheUsersFolders)
{
    // Files beside the executable are not the installed program's.
    WriteFile(".Ini", QByteArray("[Setup]\r\nTitle=beside\r\n"));
    WriteLibrary({"beside"});
    InstalledLayout installed;
    ASSERT_TRUE(QDir().mkpath(installed.Home(".config/korvex")));
    ASSERT_TRUE(QDir().mkpath(installed.Home(".local/share/korvex")));
    QFile ini(installed.Home(".config/korvex/korvex.Ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Setup]\r\nTitle=own\r\n");
    ini.close();
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(installed.Home(".local/share/korvex/korvex.Ico"), "ICO"));

    Open();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("own"));
    EXPECT_EQ(form->windowIcon().pixmap(16).toImage().pixel(8, 8), QColor(Qt::blue).rgb());
    EXPECT_EQ(form->PictList->count(), 0);
    const QString library = installed.Home(".local/share/korvex/korvex.Dat");
    EXPECT_EQ(form->libraryPath, library);

    // The first save makes the data folder and creates the library there;
    // starting does not.
    form.reset();
    ASSERT_TRUE(QDir(installed.Home(".local")).removeRecursively());
    Open();
    EXPECT_FALSE(QFileInfo::exists(installed.Home(".local/share/korvex")));
    form->BtnSavePictClick();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(QFileInfo(library).size(), 995192);
    auto data = std::make_unique<LibraryData>();
    std::string error;
    ASSERT_TRUE(LoadLibraryFile(Sibling(".Dat").toStdString(), *data, error)) << error;
    EXPECT_EQ(data->pictureCount, 1);  // the file beside the executable as it was
}

// ---- Qt's own texts ----

TEST(QtTranslation, StockButtonsReadChinese)
{
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFileInfo::exists(dir + QStringLiteral("/qtbase_zh_CN.qm")))
        GTEST_SKIP() << "Qt's translations are not installed (qt6-translations-l10n)";
    QTranslator *translator = InstallQtTranslation(*QCoreApplication::instance());
    ASSERT_NE(translator, nullptr);
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("c"), QStringLiteral("t"), QMessageBox::Ok);
    const QString ok = box.button(QMessageBox::Ok)->text();
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_EQ(ok, QStringLiteral("确定"));
}

// ---- save ----

TEST_F(StartupTest, SaveWritesListCountsAndResetsBothSaveButtons)
{
    WriteLibrary({"a", "b", "c"}, 2);
    Open();
    form->picturesDirty = form->programDirty = true;
    form->BtnSavePict->setEnabled(true);
    form->BtnSaveProgList->setEnabled(true);
    QFile::remove(Sibling(".Dat"));

    form->BtnSaveProgList->click();  // either button saves both pages
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(form->BtnSavePict->isEnabled());
    EXPECT_FALSE(form->BtnSaveProgList->isEnabled());
    EXPECT_FALSE(form->picturesDirty);
    EXPECT_FALSE(form->programDirty);

    QFile f(Sibling(".Dat"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ASSERT_EQ(bytes.size(), 995192);
    EXPECT_EQ(uint8_t(bytes[0]), 3);
    EXPECT_EQ(uint8_t(bytes[1]), 0);
    EXPECT_EQ(uint8_t(bytes[993654]), 2);
    EXPECT_EQ(uint8_t(bytes[993655]), 0);
}

TEST_F(StartupTest, FailedSaveReportsAndKeepsBothSaveButtons)
{
    WriteLibrary({"a"});
    Open();
    form->picturesDirty = form->programDirty = true;
    form->BtnSavePict->setEnabled(true);
    form->BtnSaveProgList->setEnabled(true);
    form->libraryPath = QStringLiteral("/nonexistent/korvex-test-dir/korvex.Dat");

    form->BtnSavePict->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, MsgIcon::Error);
    EXPECT_FALSE(boxes[0].text.isEmpty());
    EXPECT_TRUE(form->BtnSavePict->isEnabled());
    EXPECT_TRUE(form->BtnSaveProgList->isEnabled());
    EXPECT_TRUE(form->picturesDirty);
    EXPECT_TRUE(form->programDirty);
}

TEST_F(StartupTest, ShortWriteReportsDiskFullAndKeepsTheOldFile)
{
    WriteLibrary({"old"});
    Open();
    form->picturesDirty = true;
    form->BtnSavePict->setEnabled(true);
    form->PictList->addItem(QStringLiteral("002: new"));
    SetLibraryWriteForTest([](int, const void *, size_t) { return ssize_t(0); });
    form->BtnSavePict->click();
    SetLibraryWriteForTest(nullptr);

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Disk full"));
    EXPECT_EQ(boxes[0].icon, MsgIcon::Error);
    EXPECT_TRUE(form->BtnSavePict->isEnabled());

    auto data = std::make_unique<LibraryData>();
    std::string error;
    ASSERT_TRUE(LoadLibraryFile(Sibling(".Dat").toStdString(), *data, error)) << error;
    EXPECT_EQ(data->pictureCount, 1);
}

}  // namespace
}  // namespace korvex::test
