// The main window: three pages (system settings, picture management,
// program editor) over the picture library, the program table and the host
// copy of the controller's configuration record.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

#include "app/gbk_text.h"
#include "model/config_record.h"
#include "model/library.h"
#include "model/library_document.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QMenu;
class QPoint;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace korvex {

class TFormPattern;

// What the capture dialog hands back on OK.
struct CaptureOutcome {
    PictureColours colours{};
    QString name;
};

class TFormMain : public QWidget {
    Q_OBJECT
public:
    // `exePath` names the executable whose ".Ico", ".Ini" and ".Dat" files
    // are used (app/file_locations.h: beside it, or the user's own in the
    // installed layout); empty means the running program's own path.
    // The constructor builds the pages and then runs FormCreate (start-up,
    // ending with the connection check on port 1).
    explicit TFormMain(const QString &exePath = QString(), QWidget *parent = nullptr);
    ~TFormMain() override;

    // Runs the capture dialog with `name` preset; returns its modal result
    // (1 = OK, `out` filled). Replaceable for tests; the default shows TFormCut.
    std::function<int(TFormMain *owner, const QString &name, CaptureOutcome &out)> runCapture;
    // Runs the rename dialog; returns its modal result (1 = changed, `name`
    // updated). Replaceable for tests; the default shows TFormRename.
    std::function<int(TFormMain *owner, QString &name)> runRename;
    // Runs the pattern dialog; returns its modal result (1 = OK). Replaceable
    // for tests; the default is the dialog's exec().
    std::function<int(TFormMain *owner, TFormPattern &dialog)> runPattern;

    // ---- controls, named as the operator's manual names them ----
    QTabWidget *PageCtrl = nullptr;
    QWidget *Config = nullptr, *Pattern = nullptr, *ProgList = nullptr;

    // system settings page
    QFrame *Panel1 = nullptr;
    QLabel *sComState = nullptr, *StaticText2 = nullptr, *StaticText6 = nullptr,
           *StaticText1 = nullptr;
    QComboBox *nComPort = nullptr, *nRGB = nullptr;
    QSpinBox *vWidth = nullptr;
    QCheckBox *ChkOE = nullptr, *ChkData = nullptr;
    QPushButton *BtnCfgSave = nullptr;

    // picture management page
    QLabel *Pict = nullptr;
    QListWidget *PictList = nullptr;
    QPushButton *BtnNew = nullptr, *BtnReplace = nullptr, *BtnDelete = nullptr,
                *BtnRename = nullptr;
    QPushButton *BtnSavePict = nullptr, *BtnSendPict = nullptr;
    QProgressBar *PrgBar = nullptr;
    QMenu *PictMenu = nullptr;  // PictList's context menu
    QAction *MnuSendSelected = nullptr, *MnuSendChanged = nullptr, *MnuReadCard = nullptr,
            *MnuCheckCard = nullptr;
    QAction *MnuPattern = nullptr;  // 生成图形...

    // program editor page
    QLabel *StaticText4 = nullptr, *StaticText5 = nullptr, *StaticText3 = nullptr;
    QListWidget *nPictList = nullptr, *nProgList = nullptr;
    QComboBox *SelAnimation = nullptr;
    QLabel *sSpeedStay = nullptr, *sUnit = nullptr;
    QSpinBox *vSpeedStay = nullptr;
    QPushButton *BtnDelProg = nullptr, *BtnSaveProgList = nullptr, *BtnSendProg = nullptr;

    // ---- state owned for the whole run ----
    // The pictures and the program; PictList, nPictList and nProgList mirror it.
    LibraryDocument doc{GbkToUtf8};
    ConfigRecord hostCopy{};
    uint8_t version = 0;
    bool connected = false;
    bool settingsDirty = false;
    bool picturesDirty = false;
    bool programDirty = false;
    QString libraryPath;
    bool uploading = false;  // a close request is ignored while set

    // ---- handlers ----
    void FormCreate();
    void BtnSavePictClick();

    void nComPortChange(QObject *sender);
    void ChangeCfgData(QObject *sender);
    void vWidthChange();
    void BtnCfgSaveClick();

    void PictListClick();
    void BtnNewClick();
    void MnuPatternClick();
    // New's end: appends the picture, lists, selects and previews it.
    void AppendPicture(const PictureColours &colours, const QString &name);
    void BtnReplaceClick();
    void BtnRenameClick();
    void BtnDeleteClick();

    void RebuildProgList(int n);
    void nPictListDblClick();
    void nProgListClick();
    void SelAnimationChange(QObject *sender);
    void BtnDelProgClick();

    void BtnSendPictClick();
    void PictListPopup(const QPoint &pos);
    void MnuSendSelectedClick();
    void MnuSendChangedClick();
    void BtnSendProgClick();

    // Reading the controller back (FrmMainReadBack.cpp): its content
    // replaces the document, or is compared with it.
    void MnuReadCardClick();
    void MnuCheckCardClick();

    int PortNumber() const;  // nComPort index + 1

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched,
                     QEvent *event) override;  // keeps PrgBar at the page's bottom

private:
    // Each page's widgets, built in the page's own file.
    void BuildConfigPage();    // FrmMainConfig.cpp
    void BuildPatternPage();   // FrmMainPictures.cpp
    void BuildProgListPage();  // FrmMainProgram.cpp
    // Lists the document in both picture lists and the program list, in
    // place of whatever they showed.
    void ListLibrary();
    QString exePath_;
};

}  // namespace korvex
