// Program editor page: the program list rebuild, Add (double-click on a
// picture), showing and changing a step, and Delete.
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <algorithm>

#include "host/FrmMain.h"
#include "host/list_selection.h"
#include "host/MessageBox.h"
#include "app/gbk_text.h"
#include "model/labels.h"
#include "model/library_file.h"

namespace korvex {

namespace {

// Every effect the controller knows, by effect index. The drop-down may
// offer only the first six; a step may still carry index 6 or 7 (from a
// file, or made before the list was refilled) and its label then takes its
// text from here.
const char *const kEffectNames[] = {"显示", "渐显", "左移", "右移", "渐隐", "等待", "展开", "收拢"};
constexpr int kEffectCount = int(sizeof kEffectNames / sizeof kEffectNames[0]);
constexpr int kShowEffect = 0;
constexpr int kWaitEffect = 5;
constexpr int kTimeDefault = 1;    // seconds, for "显示" and "等待"
constexpr int kSpeedDefault = 31;  // for every other effect

// The text a label shows for an effect index. Every text is two
// characters, so a change can always swap a label's last two characters.
QString EffectText(const QComboBox *effects, int index)
{
    if (index >= 0 && index < effects->count())
        return effects->itemText(index);
    if (index >= 0 && index < kEffectCount)
        return QString::fromUtf8(kEffectNames[index]);
    return QStringLiteral("??");
}

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
    int preset = kSpeedDefault;
    if (effect == kShowEffect || effect == kWaitEffect) {
        form->sSpeedStay->setText(effect == kShowEffect ? QStringLiteral("停留")
                                                        : QStringLiteral("等待"));
        form->sUnit->setVisible(true);
        preset = kTimeDefault;
    } else {
        form->sSpeedStay->setText(QStringLiteral("速度"));
        form->sUnit->setVisible(false);
    }
    if (applyDefault) {
        const QSignalBlocker block(form->vSpeedStay);
        form->vSpeedStay->setValue(preset);
    }
}

}  // namespace

// Lists the first n table entries whose picture exists, numbered from 1.
// Entries whose picture index is not below the picture count are dropped
// from the table as the listed ones move up, so that item i of nProgList is
// always table entry i: that is what Save and both uploads rely on.
void TFormMain::RebuildProgList(int n)
{
    const int previousStep = SelectedRow(nProgList);
    n = std::clamp(n, 0, kMaxProgram);
    const int pictureCount = nPictList->count();

    const QSignalBlocker block(nProgList);
    nProgList->clear();
    int shown = 0;
    for (int i = 0; i < n; ++i) {
        const ProgramEntry entry = program[i];
        if (entry.picture >= pictureCount)
            continue;
        program[shown] = entry;
        const std::string label = StepLabel(shown + 1, GbkToUtf8(NameOf(pictures[entry.picture])),
                                            EffectText(SelAnimation, entry.effect).toStdString());
        nProgList->addItem(QString::fromStdString(label));
        ++shown;
    }
    if (pictureCount == 0)
        return;

    // The picture at the position of the step selected before (0 when
    // none), the last picture when there are fewer pictures than that.
    SelectRow(PictList, std::min(std::max(previousStep, 0), pictureCount - 1));
    PictListClick();

    ShowEntry(this, program[0]);
    FollowEffect(this, false);

    if (nProgList->count() > 0) {
        SelectRow(nProgList, 0);
        BtnDelProg->setEnabled(true);
    }
}

void TFormMain::nPictListDblClick()
{
    if (nPictList->count() == 0)
        return;
    const int i = nProgList->count();
    if (i >= kMaxProgram) {
        ShowMessage(this, QStringLiteral("节目编排"), QStringLiteral("      节目最多512步!      "),
                    MsgIcon::Error);
        return;
    }
    const int p = std::max(SelectedRow(nPictList), 0);

    // A step needs an effect: with none chosen yet, it gets "显示", shown
    // as the choice (the value stays as set).
    if (SelAnimation->currentIndex() < 0) {
        const QSignalBlocker blockEffect(SelAnimation);
        SelAnimation->setCurrentIndex(kShowEffect);
        FollowEffect(this, false);
    }
    const int effect = std::max(SelAnimation->currentIndex(), kShowEffect);
    program[i].picture = uint8_t(p);
    program[i].effect = uint8_t(effect);
    program[i].value = uint8_t(vSpeedStay->value());

    nProgList->addItem(nPictList->item(p)->text() + QStringLiteral(" - ") +
                       EffectText(SelAnimation, effect));
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
    ShowEntry(this, program[s]);
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
    ProgramEntry &entry = program[s];
    if (SelAnimation->currentIndex() >= 0)
        entry.effect = uint8_t(SelAnimation->currentIndex());
    entry.value = uint8_t(vSpeedStay->value());

    QListWidgetItem *item = nProgList->item(s);
    QString label = item->text();
    label.chop(2);
    item->setText(label + EffectText(SelAnimation, entry.effect));
    SelectRow(nProgList, s);
    programDirty = true;
    BtnSaveProgList->setEnabled(true);
}

void TFormMain::BtnDelProgClick()
{
    int d = SelectedRow(nProgList);
    if (d < 0)
        return;
    const int length = nProgList->count();
    for (int k = d; k + 1 < length; ++k)
        program[k] = program[k + 1];
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
