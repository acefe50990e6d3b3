// Picture management page: preview strip, New, Replace, Rename, Delete.
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>

#include "host/FrmCut.h"
#include "host/FrmMain.h"
#include "host/list_selection.h"
#include "host/FrmRename.h"
#include "app/gbk_text.h"
#include "app/picture_strip.h"

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
