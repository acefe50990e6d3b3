// Picture management page: preview strip, New, Replace, Rename, Delete.
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <cstring>

#include "host/FrmCut.h"
#include "host/FrmMain.h"
#include "host/list_selection.h"
#include "host/FrmRename.h"
#include "app/gbk_text.h"
#include "model/labels.h"
#include "model/library_file.h"

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

// The label of picture slot `slot` from its stored name.
QString PictureItemText(const PictureRecord &record, int slot)
{
    return QString::fromStdString(PictureLabel(slot + 1, GbkToUtf8(NameOf(record))));
}

// Stores a capture result in a record: colours and name (cut to 18 bytes).
void StoreCapture(PictureRecord &record, const CaptureOutcome &outcome)
{
    std::memcpy(record.colours, outcome.colours.data(), sizeof record.colours);
    StoreName(record, Utf8ToGbk(outcome.name.toStdString()));
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

void TFormMain::PictListClick()
{
    const int selected = SelectedRow(PictList);
    BtnReplace->setEnabled(selected >= 0);
    BtnRename->setEnabled(selected >= 0);
    BtnDelete->setEnabled(selected >= 0);

    // An empty library shows a blank strip: slot 0 may still hold the
    // colours of a picture that was deleted.
    if (PictList->count() == 0) {
        QImage blank(kStripWidth, kStripHeight, QImage::Format_RGB32);
        blank.fill(Pict->palette().color(QPalette::Window));
        Pict->setPixmap(QPixmap::fromImage(blank));
        return;
    }
    const PictureRecord &picture = pictures[selected >= 0 ? selected : 0];
    QImage strip(kStripWidth, kStripHeight, QImage::Format_RGB32);
    for (int x = 0; x < kStripWidth; ++x) {
        const uint32_t c = picture.colours[x];  // 0x00BBGGRR
        const QRgb rgb = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
        for (int y = 0; y < kStripHeight; ++y)
            strip.setPixel(x, y, rgb);
    }
    Pict->setPixmap(QPixmap::fromImage(strip));
}

void TFormMain::BtnNewClick()
{
    if (PictList->count() >= kMaxPictures) {
        BtnNew->setEnabled(false);  // for the rest of the run
        return;
    }
    CaptureOutcome outcome;
    if (CaptureHidden(this, QString(), outcome) != 1)
        return;

    const int i = PictList->count();
    StoreCapture(pictures[i], outcome);
    const QString label = PictureItemText(pictures[i], i);
    PictList->addItem(label);
    nPictList->addItem(label);
    SelectRow(PictList, i);
    PictListClick();
    picturesDirty = true;
    BtnSavePict->setEnabled(true);
}

void TFormMain::BtnReplaceClick()
{
    const int p = SelectedRow(PictList);
    if (p < 0)
        return;
    CaptureOutcome outcome;
    const QString current = QString::fromStdString(GbkToUtf8(NameOf(pictures[p])));
    if (CaptureHidden(this, current, outcome) != 1)
        return;

    StoreCapture(pictures[p], outcome);
    const QString label = PictureItemText(pictures[p], p);
    PictList->item(p)->setText(label);
    nPictList->item(p)->setText(label);
    RebuildProgList(nProgList->count());
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
    QString name = QString::fromStdString(GbkToUtf8(NameOf(pictures[r])));
    const int result = runRename ? runRename(this, name) : DefaultRename(this, name);
    if (result != 1)
        return;

    StoreName(pictures[r], Utf8ToGbk(name.toStdString()));
    const QString label = PictureItemText(pictures[r], r);
    PictList->item(r)->setText(label);
    nPictList->item(r)->setText(label);
    RebuildProgList(nProgList->count());
    picturesDirty = true;
    BtnSavePict->setEnabled(true);
}

void TFormMain::BtnDeleteClick()
{
    const int d = SelectedRow(PictList);
    if (d < 0)
        return;
    const int count = PictList->count();
    for (int k = d; k + 1 < count; ++k)
        std::memcpy(&pictures[k], &pictures[k + 1], sizeof(PictureRecord));

    {
        const QSignalBlocker blockA(PictList);
        const QSignalBlocker blockB(nPictList);
        delete PictList->takeItem(d);
        delete nPictList->takeItem(d);
        for (int k = d; k < PictList->count(); ++k) {
            const QString label = PictureItemText(pictures[k], k);
            PictList->item(k)->setText(label);
            nPictList->item(k)->setText(label);
        }
        // takeItem may have moved the selection; only item d is selected.
        PictList->clearSelection();
    }
    if (d < PictList->count())
        SelectRow(PictList, d);
    RebuildProgList(nProgList->count());
    // The rebuild reselects and runs the click handling when pictures are
    // left; an emptied library needs the buttons and strip updated here.
    if (PictList->count() == 0)
        PictListClick();
    picturesDirty = true;
    BtnSavePict->setEnabled(true);
}

}  // namespace korvex
