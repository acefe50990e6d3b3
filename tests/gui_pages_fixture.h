// A main window over an empty folder (no library file), with the capture
// and rename dialogs and the message box replaced by recorders.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "host/FrmMain.h"
#include "host/MessageBox.h"
#include "app/gbk_text.h"
#include "model/library_file.h"

namespace korvex::test {

struct ShownMessage {
    QString caption, text;
    MsgIcon icon;
};

inline std::vector<std::string> ListItems(const QListWidget *list)
{
    std::vector<std::string> out;
    for (int i = 0; i < list->count(); ++i)
        out.push_back(list->item(i)->text().toStdString());
    return out;
}

class PagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        SetMessageHook(
            [this](QWidget *, const QString &caption, const QString &text, MsgIcon icon) {
                messages.push_back({caption, text, icon});
            });
        form = std::make_unique<TFormMain>(dir_.filePath(QStringLiteral("korvex")));
        messages.clear();  // whatever start-up reported is not under test here
        form->runCapture = [this](TFormMain *owner, const QString &name, CaptureOutcome &out) {
            ++captureRuns;
            captureSawHidden = !owner->isVisible();
            captureNameIn = name;
            if (captureResult == 1)
                out = nextCapture;
            return captureResult;
        };
        form->runRename = [this](TFormMain *, QString &name) {
            ++renameRuns;
            if (renameTo == name)
                return 2;
            name = renameTo;
            return 1;
        };
    }
    void TearDown() override
    {
        form.reset();
        SetMessageHook(nullptr);
    }

    // Adds a picture through New with the given name; colour k is `fill`
    // unless `colours` is given.
    void AddPicture(const QString &name, uint32_t fill = 0x00102030)
    {
        nextCapture = CaptureOutcome{};
        nextCapture.colours.fill(fill);
        nextCapture.name = name;
        captureResult = 1;
        form->BtnNewClick();
    }
    void AddPictures(int n)
    {
        for (int i = 0; i < n; ++i)
            AddPicture(QStringLiteral("p%1").arg(i + 1));
    }

    // As the operator picks an effect: the choice changes, then the
    // handler runs with the drop-down as sender.
    void ChooseEffect(int index)
    {
        {
            const QSignalBlocker block(form->SelAnimation);
            form->SelAnimation->setCurrentIndex(index);
        }
        form->SelAnimationChange(form->SelAnimation);
    }
    void SetValue(int value)
    {
        {
            const QSignalBlocker block(form->vSpeedStay);
            form->vSpeedStay->setValue(value);
        }
        form->SelAnimationChange(form->vSpeedStay);
    }
    // A double-click on picture slot p of nPictList.
    void AddStep(int p)
    {
        {
            const QSignalBlocker block(form->nPictList);
            form->nPictList->setCurrentRow(p);
        }
        form->nPictListDblClick();
    }
    void ClickStep(int s)
    {
        {
            const QSignalBlocker block(form->nProgList);
            form->nProgList->setCurrentRow(s);
        }
        form->nProgListClick();
    }
    void ClickPicture(int p)
    {
        {
            const QSignalBlocker block(form->PictList);
            form->PictList->setCurrentRow(p);
        }
        form->PictListClick();
    }

    static std::vector<std::string> Items(const QListWidget *list) { return ListItems(list); }
    static int Selected(const QListWidget *list)
    {
        const auto items = list->selectedItems();
        return items.isEmpty() ? -1 : list->row(items.first());
    }

    std::unique_ptr<TFormMain> form;
    std::vector<ShownMessage> messages;
    CaptureOutcome nextCapture;
    int captureResult = 1;
    int captureRuns = 0;
    bool captureSawHidden = false;
    QString captureNameIn;
    int renameRuns = 0;
    QString renameTo;

private:
    QTemporaryDir dir_;
};

}  // namespace korvex::test
