// Picture management page: its widgets, the preview strip, New, the list
// menu's 生成图形... (a picture made by the pattern dialog, added as New adds
// a captured one), Replace, Rename and Delete. The menu's sends and reads
// are in FrmMainUpload.cpp and FrmMainReadBack.cpp.
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <algorithm>

#include "host/FrmCut.h"
#include "host/FrmMain.h"
#include "host/FrmPattern.h"
#include "host/list_box.h"
#include "host/list_selection.h"
#include "host/FrmRename.h"
#include "host/page_widgets.h"
#include "app/gbk_text.h"
#include "app/picture_strip.h"
#include "model/pattern.h"

namespace korvex {

namespace {

constexpr int kStripWidth = 317;
constexpr int kStripHeight = 9;

int DefaultCapture(TFormMain *owner, const QString &name, CaptureOutcome &out)
{
    TFormCut dialog(owner);
    dialog.name = name;
    const int result = dialog.exec();
    if (result == 1) {
        out.colours = dialog.colours;
        out.name = dialog.name;
    }
    return result;
}

int DefaultRename(TFormMain *owner, QString &name)
{
    TFormRename dialog(owner);
    dialog.name = name;
    const int result = dialog.exec();
    if (result == 1)
        name = dialog.name;
    return result;
}

// Shows picture i's label from the document in both picture lists.
void RelabelPicture(TFormMain *form, int i)
{
    const QString label = QString::fromStdString(form->doc.PictureLabel(i));
    form->PictList->item(i)->setText(label);
    form->nPictList->item(i)->setText(label);
}

// Runs the capture dialog with the main window hidden for exactly as long
// as the dialog exists.
int CaptureHidden(TFormMain *form, const QString &name, CaptureOutcome &out)
{
    form->hide();
    const int result =
        form->runCapture ? form->runCapture(form, name, out) : DefaultCapture(form, name, out);
    form->show();
    return result;
}

}  // namespace

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
    MnuSendChanged = PictMenu->addAction(QStringLiteral("发送修改的图形"));
    MnuReadCard = PictMenu->addAction(QStringLiteral("从控制卡读取"));
    MnuCheckCard = PictMenu->addAction(QStringLiteral("与控制卡核对"));
    PictList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(PictList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PictListPopup(pos); });
    connect(MnuSendSelected, &QAction::triggered, this, [this] { MnuSendSelectedClick(); });
    connect(MnuSendChanged, &QAction::triggered, this, [this] { MnuSendChangedClick(); });
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

bool TFormMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Pattern && event->type() == QEvent::Resize)
        PrgBar->setGeometry(0, Pattern->height() - 12, Pattern->width(), 12);
    return QWidget::eventFilter(watched, event);
}

void TFormMain::PictListClick()
{
    const int selected = SelectedRow(PictList);
    BtnReplace->setEnabled(selected >= 0);
    BtnRename->setEnabled(selected >= 0);
    BtnDelete->setEnabled(selected >= 0);

    // An empty library shows a blank strip: slot 0 may still hold the
    // colours of a picture that was deleted.
    if (doc.PictureCount() == 0) {
        QImage blank(kStripWidth, kStripHeight, QImage::Format_RGB32);
        blank.fill(Pict->palette().color(QPalette::Window));
        Pict->setPixmap(QPixmap::fromImage(blank));
        return;
    }
    const QImage strip =
        PictureStrip(doc.Picture(selected >= 0 ? selected : 0), kStripWidth, kStripHeight);
    Pict->setPixmap(QPixmap::fromImage(strip));
}

void TFormMain::BtnNewClick()
{
    if (doc.PicturesFull()) {
        BtnNew->setEnabled(false);  // for the rest of the run
        return;
    }
    CaptureOutcome outcome;
    if (CaptureHidden(this, QString(), outcome) != 1)
        return;

    AppendPicture(outcome.colours, outcome.name);
}

void TFormMain::AppendPicture(const PictureColours &colours, const QString &name)
{
    const int i = doc.NewPicture(colours, Utf8ToGbk(name.toStdString()));
    if (i < 0)
        return;  // 121 pictures: the callers check first
    const QString label = QString::fromStdString(doc.PictureLabel(i));
    PictList->addItem(label);
    nPictList->addItem(label);
    SelectRow(PictList, i);
    PictListClick();
    picturesDirty = true;
    BtnSavePict->setEnabled(true);
}

void TFormMain::MnuPatternClick()
{
    if (doc.PicturesFull()) {
        BtnNew->setEnabled(false);  // as New does
        return;
    }
    // The pattern fills the controller's pixels when one was checked (a
    // count of 0, as a record without a signature has, is no count).
    const PatternRange range = RangeOf(PatternParam::Pixels);
    const int count = connected ? GetWord(hostCopy, cfg::kPixelCount) : 0;
    const int pixels = count > 0 ? std::clamp(count, range.lo, range.hi) : range.hi;
    TFormPattern dialog(this, pixels);
    const int result = runPattern ? runPattern(this, dialog) : dialog.exec();
    if (result != 1)
        return;
    AppendPicture(dialog.colours, dialog.name);
}

void TFormMain::BtnReplaceClick()
{
    const int p = SelectedRow(PictList);
    if (p < 0)
        return;
    CaptureOutcome outcome;
    const QString current = QString::fromStdString(doc.PictureName(p));
    if (CaptureHidden(this, current, outcome) != 1)
        return;

    doc.ReplacePicture(p, outcome.colours, Utf8ToGbk(outcome.name.toStdString()));
    RelabelPicture(this, p);
    RebuildProgList(doc.ProgramLength());
    SelectRow(PictList, p);
    PictListClick();
    picturesDirty = true;
    BtnSavePict->setEnabled(true);
}

void TFormMain::BtnRenameClick()
{
    const int r = SelectedRow(PictList);
    if (r < 0)
        return;
    QString name = QString::fromStdString(doc.PictureName(r));
    const int result = runRename ? runRename(this, name) : DefaultRename(this, name);
    if (result != 1)
        return;

    doc.RenamePicture(r, Utf8ToGbk(name.toStdString()));
    RelabelPicture(this, r);
    RebuildProgList(doc.ProgramLength());
    picturesDirty = true;
    BtnSavePict->setEnabled(true);
}

void TFormMain::BtnDeleteClick()
{
    const int d = SelectedRow(PictList);
    if (d < 0)
        return;
    doc.DeletePicture(d);

    {
        const QSignalBlocker blockA(PictList);
        const QSignalBlocker blockB(nPictList);
        delete PictList->takeItem(d);
        delete nPictList->takeItem(d);
        for (int k = d; k < doc.PictureCount(); ++k)
            RelabelPicture(this, k);
        // takeItem may have moved the selection; only item d is selected.
        PictList->clearSelection();
    }
    if (d < doc.PictureCount())
        SelectRow(PictList, d);
    RebuildProgList(doc.ProgramLength());
    // The rebuild reselects and runs the click handling when pictures are
    // left; an emptied library needs the buttons and strip updated here.
    if (doc.PictureCount() == 0)
        PictListClick();
    picturesDirty = true;
    BtnSavePict->setEnabled(true);
}

}  // namespace korvex
