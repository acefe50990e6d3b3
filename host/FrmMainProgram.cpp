// Program editor page: its widgets, the program list rebuild, Add
// (double-click on a picture), showing and changing a step, and Delete.
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <algorithm>

#include "host/FrmMain.h"
#include "host/list_box.h"
#include "host/list_selection.h"
#include "host/MessageBox.h"
#include "host/page_widgets.h"
#include "host/spin_boxes.h"
#include "model/effects.h"

namespace korvex {

namespace {

// Shows an entry's effect and value in the two controls, without raising
// their change events. An effect the list does not offer shows as no choice.
void ShowEntry(TFormMain *form, const ProgramEntry &entry)
{
    const QSignalBlocker blockEffect(form->SelAnimation);
    const QSignalBlocker blockValue(form->vSpeedStay);
    form->SelAnimation->setCurrentIndex(entry.effect < form->SelAnimation->count() ? entry.effect
                                                                                   : -1);
    form->vSpeedStay->setValue(entry.value);
}

// Caption and unit of the value field for the current effect; with
// `applyDefault` the value is also reset to the effect's default.
void FollowEffect(TFormMain *form, bool applyDefault)
{
    const int effect = form->SelAnimation->currentIndex();
    form->sSpeedStay->setText(QString::fromUtf8(ValueCaption(effect)));
    form->sUnit->setVisible(EffectTakesSeconds(effect));
    if (applyDefault) {
        const QSignalBlocker block(form->vSpeedStay);
        form->vSpeedStay->setValue(DefaultValue(effect));
    }
}

}  // namespace

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

// The document lists the steps (RebuildProgram); the list shows them and the
// page follows the selection.
void TFormMain::RebuildProgList(int n)
{
    const int previousStep = SelectedRow(nProgList);
    doc.RebuildProgram(n);
    const int pictureCount = doc.PictureCount();

    const QSignalBlocker block(nProgList);
    nProgList->clear();
    for (int s = 0; s < doc.ProgramLength(); ++s)
        nProgList->addItem(QString::fromStdString(doc.StepLabel(s)));
    if (pictureCount == 0)
        return;

    // The picture at the position of the step selected before (0 when
    // none), the last picture when there are fewer pictures than that.
    SelectRow(PictList, std::min(std::max(previousStep, 0), pictureCount - 1));
    PictListClick();

    ShowEntry(this, doc.Program()[0]);
    FollowEffect(this, false);

    if (nProgList->count() > 0) {
        SelectRow(nProgList, 0);
        BtnDelProg->setEnabled(true);
    }
}

void TFormMain::nPictListDblClick()
{
    if (doc.PictureCount() == 0)
        return;
    if (doc.ProgramFull()) {
        ShowMessage(this, QStringLiteral("节目编排"), QStringLiteral("      节目最多512步!      "),
                    MsgIcon::Error);
        return;
    }
    const int p = std::max(SelectedRow(nPictList), 0);

    // A step needs an effect: with none chosen yet, the one it gets is
    // shown as the choice (the value stays as set).
    const StepChoice step = NewStepChoice(SelAnimation->currentIndex(), vSpeedStay->value());
    if (SelAnimation->currentIndex() != step.effect) {
        const QSignalBlocker blockEffect(SelAnimation);
        SelAnimation->setCurrentIndex(step.effect);
        FollowEffect(this, false);
    }
    const int i = doc.AddStep(p, step.effect, step.value);

    nProgList->addItem(QString::fromStdString(doc.StepLabel(i)));
    SelectRow(nProgList, i);
    nProgListClick();
    programDirty = true;
    BtnSaveProgList->setEnabled(true);
}

void TFormMain::nProgListClick()
{
    SelAnimation->setEnabled(false);
    vSpeedStay->setEnabled(false);
    BtnDelProg->setEnabled(false);
    const int s = SelectedRow(nProgList);
    if (s < 0)
        return;
    ShowEntry(this, doc.Program()[s]);
    FollowEffect(this, false);
    SelAnimation->setEnabled(true);
    vSpeedStay->setEnabled(true);
    BtnDelProg->setEnabled(true);
}

void TFormMain::SelAnimationChange(QObject *sender)
{
    FollowEffect(this, sender == SelAnimation);
    const int s = SelectedRow(nProgList);
    if (s < 0)
        return;
    // With no effect chosen (a step whose effect the list does not offer)
    // the step keeps its effect and only its value changes.
    doc.ChangeStep(s, SelAnimation->currentIndex(), vSpeedStay->value());
    nProgList->item(s)->setText(QString::fromStdString(doc.StepLabel(s)));
    SelectRow(nProgList, s);
    programDirty = true;
    BtnSaveProgList->setEnabled(true);
}

void TFormMain::BtnDelProgClick()
{
    int d = SelectedRow(nProgList);
    if (d < 0)
        return;
    doc.DeleteStep(d);
    {
        const QSignalBlocker block(nProgList);
        delete nProgList->takeItem(d);
        nProgList->clearSelection();
    }
    if (d >= nProgList->count())
        d = nProgList->count() - 1;
    if (d >= 0)
        SelectRow(nProgList, d);
    nProgListClick();
    programDirty = true;
    BtnSaveProgList->setEnabled(true);
}

}  // namespace korvex
