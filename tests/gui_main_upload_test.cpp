// The two Send buttons: progress bar, message boxes, the host copy's counts
// (recorded only after success and after the box), and the window refusing
// to close while an upload or a read of the controller runs.
#include <QAction>
#include <QMenu>
#include <QRegularExpression>
#include <QTimer>

#include "tests/gui_main_fixture.h"

namespace korvex::test {
namespace {

const QString kPictCaption = QStringLiteral("发送图形");
const QString kPictSent = QStringLiteral("      发送图形成功   ");
const QString kPictFailed = QStringLiteral("      发送图形失败!      ");
const QString kProgCaption = QStringLiteral("发送节目表");
const QString kProgSent = QStringLiteral("      发送节目表成功!      ");
const QString kProgFailed = QStringLiteral("      发送节目表失败!      ");

class UploadTest : public MainWindowTest {
protected:
    // A controller whose record says 7 pictures and 9 program entries, and a
    // library of `pictures` pictures and `steps` steps.
    void OpenConnected(int pictures, int steps)
    {
        auto record = ControllerRecord("1.1", 0, 2048, 0);
        record[16] = 7;
        record[20] = 9;
        StartController(record);
        std::vector<std::string> names;
        for (int i = 0; i < pictures; ++i)
            names.push_back("p" + std::to_string(i + 1));
        WriteLibrary(names, steps);
        Open();
        ASSERT_TRUE(form->connected);
        ASSERT_TRUE(form->BtnSendPict->isEnabled());
        ASSERT_EQ(form->PictList->count(), pictures);
        ASSERT_EQ(form->nProgList->count(), pictures > 0 ? steps : 0);
        form->show();
        // What the bar and the host copy show while the box is up.
        onBox = [this] {
            barMaximum = form->PrgBar->maximum();
            barValue = form->PrgBar->value();
            barHidden = form->PrgBar->isHidden();
            countsInBox = {form->hostCopy[cfg::kPictureCount],
                           GetWord(form->hostCopy, cfg::kProgramCount)};
        };
    }

    int barMaximum = -1, barValue = -1;
    bool barHidden = false;
    std::pair<int, int> countsInBox{-1, -1};
};

// ---- picture upload ----

TEST_F(UploadTest, PicturesSentShowSuccessAndRecordTheCountAfterTheBox)
{
    OpenConnected(3, 2);
    // The bar as the operator sees it (events are let through after each
    // block and before each command).
    std::vector<std::pair<int, QString>> shown;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        if (form->PrgBar->isVisible() && form->PrgBar->isTextVisible())
            shown.push_back({form->PrgBar->value(), form->PrgBar->text()});
    });
    sample.start(0);
    form->BtnSendPict->click();
    sample.stop();
    ASSERT_FALSE(shown.empty());
    // Before the first block the bar shows 0% alone; then the percentage of
    // the blocks written and the time left at the rate so far, down to
    // nothing after the last block.
    const QRegularExpression pattern(QStringLiteral("^(\\d+)%  剩余 \\d+:\\d\\d$"));
    for (const auto &[value, text] : shown) {
        if (value == 0) {
            EXPECT_EQ(text, QStringLiteral("0%"));
            continue;
        }
        const QRegularExpressionMatch m = pattern.match(text);
        ASSERT_TRUE(m.hasMatch()) << text.toStdString();
        EXPECT_EQ(m.captured(1).toInt(), value * 100 / 12) << text.toStdString();
    }
    EXPECT_EQ(shown.back().second, QStringLiteral("100%  剩余 0:00"));
    EXPECT_EQ(shown.back().first, 12);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kPictCaption);
    EXPECT_EQ(boxes[0].text, kPictSent);
    EXPECT_EQ(boxes[0].icon, MsgIcon::None);
    EXPECT_TRUE(boxes[0].detail.isEmpty());
    EXPECT_EQ(barMaximum, 12);
    EXPECT_EQ(barValue, 12);
    EXPECT_TRUE(barHidden);
    EXPECT_EQ(countsInBox.first, 7);  // not yet recorded while the box is up
    EXPECT_EQ(form->hostCopy[cfg::kPictureCount], 3);
    EXPECT_EQ(GetWord(form->hostCopy, cfg::kProgramCount), 9);

    EXPECT_EQ((*sim)->CountOf('C'), 12);
    EXPECT_EQ(CountSoon('G', 1), 1);
    EXPECT_EQ((*sim)->ConfigRecord()[16], 3);
    // Sending neither saves nor touches the Save buttons.
    EXPECT_FALSE(form->BtnSavePict->isEnabled());
    EXPECT_FALSE(form->uploading);
}

TEST_F(UploadTest, FailureAtABlockLeavesTheBarThereAndTheHostCountAlone)
{
    OpenConnected(3, 0);
    // Frames of the upload: record read, record write, then the blocks.
    // Picture 1, block 2 is block write number 4 * 1 + 2 + 1 = 7.
    const int first = (*sim)->FrameCount() + 1;
    (*sim)->SetFault(sim::Fault::NotOk, first + 2 + 6);
    form->BtnSendPict->click();

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kPictCaption);
    EXPECT_EQ(boxes[0].text, kPictFailed);
    EXPECT_EQ(boxes[0].icon, MsgIcon::Error);
    EXPECT_EQ(barMaximum, 12);
    EXPECT_EQ(barValue, 4 * 1 + 2 + 1);
    EXPECT_TRUE(barHidden);
    EXPECT_EQ(form->hostCopy[cfg::kPictureCount], 7);
    EXPECT_EQ(CountSoon('G', 1, 300), 0);      // no restart after a failure
    EXPECT_EQ((*sim)->ConfigRecord()[16], 3);  // written before the first block
    // The details: where it stopped and what the controller now holds.
    const QStringList detail = boxes[0].detail.split(QLatin1Char('\n'));
    EXPECT_EQ(detail,
              (QStringList{
                  QStringLiteral("第 7 块（共 12 块，图形 2）写入失败"),
                  QStringLiteral("控制卡现在保存的是："),
                  QStringLiteral("图形数：3（已在第一块之前写入）"),
                  QStringLiteral("完整的图形：1"),
                  QStringLiteral("不完整的图形：2（4 块中已写入 2 块，第 3 块可能只写入了一部分）"),
                  QStringLiteral("未发送的图形：3（仍为原有内容）"),
                  QStringLiteral("图形名表未写入（名字仍为原来的）"),
                  QStringLiteral("未发送重启命令"),
                  QStringLiteral("再次发送即可补全。"),
              }))
        << boxes[0].detail.toStdString();
}

// The picture list's menu sends the selected picture alone, under the
// Send button's rule, with the Send button's boxes.
TEST_F(UploadTest, ListMenuSendsTheSelectedPictureAlone)
{
    OpenConnected(3, 0);
    // The menu's send of the selected picture; its read and check of the
    // controller follow the Send button alone.
    bool readOffered = false, checkOffered = false;
    const auto menuOffers = [&] {
        emit form->PictList->customContextMenuRequested(QPoint(4, 4));
        const bool enabled = form->MnuSendSelected->isEnabled();
        readOffered = form->MnuReadCard->isEnabled();
        checkOffered = form->MnuCheckCard->isEnabled();
        form->PictMenu->hide();
        return enabled;
    };
    EXPECT_EQ(form->MnuSendSelected->text(), QStringLiteral("发送选中图形"));
    form->PictList->clearSelection();
    EXPECT_FALSE(menuOffers());  // nothing selected
    EXPECT_TRUE(readOffered);
    EXPECT_TRUE(checkOffered);
    form->PictList->setCurrentRow(1);
    ASSERT_TRUE(menuOffers());

    (*sim)->ClearLog();
    form->MnuSendSelected->trigger();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kPictCaption);
    EXPECT_EQ(boxes[0].text, kPictSent);
    EXPECT_EQ(boxes[0].icon, MsgIcon::None);
    EXPECT_EQ(barMaximum, 4);
    EXPECT_EQ(barValue, 4);
    EXPECT_TRUE(barHidden);
    EXPECT_EQ(form->hostCopy[cfg::kPictureCount], 3);  // the library's count
    ASSERT_EQ(CountSoon('G', 1), 1);
    std::vector<std::pair<int, int>> blocks;
    for (const auto &e : (*sim)->Log())
        if (e.command == 'C')
            blocks.push_back({e.page, e.block});
    EXPECT_EQ(blocks, (std::vector<std::pair<int, int>>{{1, 0}, {1, 1}, {1, 2}, {1, 3}}));
    EXPECT_EQ((*sim)->CountOf('B'), 2);
    EXPECT_EQ((*sim)->ConfigRecord()[16], 3);

    // A failed check disables the Send button and the menu's items alike.
    PickPort(1);
    ASSERT_FALSE(form->BtnSendPict->isEnabled());
    EXPECT_FALSE(menuOffers());
    EXPECT_FALSE(readOffered);
    EXPECT_FALSE(checkOffered);
    form->MnuSendSelected->trigger();
    EXPECT_EQ(boxes.size(), 1u);
}

// The menu's send of what changed: everything while the controller carries
// no tag of ours, then only the edited picture, then nothing at all (no
// restart either); the bar follows what the plan sends, the boxes are the
// Send button's with what was sent as their detail.
TEST_F(UploadTest, ListMenuSendsWhatChanged)
{
    OpenConnected(3, 0);
    emit form->PictList->customContextMenuRequested(QPoint(4, 4));
    EXPECT_TRUE(form->MnuSendChanged->isEnabled());
    form->PictMenu->hide();

    PictureColours edited;
    std::copy(std::begin(form->doc.Picture(1).colours), std::end(form->doc.Picture(1).colours),
              edited.begin());
    edited[0] ^= 0x00F00000u;
    struct Round {
        std::function<void()> edit;
        std::vector<int> pages;  // the pictures whose first block went
        QString detail;
    };
    const std::vector<Round> rounds = {
        {[] {}, {0, 1, 2}, QStringLiteral("控制卡上次由其他程序写入，已发送全部图形。")},
        {[&] { form->doc.ReplacePicture(1, edited, "p2"); },
         {1},
         QStringLiteral("只发送了修改的图形：2")},
        {[] {}, {}, QStringLiteral("图形与控制卡中的相同，未发送任何数据。")},
    };
    for (size_t i = 0; i < rounds.size(); ++i) {
        const Round &round = rounds[i];
        round.edit();
        boxes.clear();
        (*sim)->ClearLog();
        form->MnuSendChanged->trigger();
        ASSERT_EQ(boxes.size(), 1u) << i;
        EXPECT_EQ(boxes[0].text, kPictSent) << i;
        EXPECT_EQ(boxes[0].detail, round.detail) << i;
        EXPECT_EQ(barMaximum, 4 * int(round.pages.size())) << i;
        const bool sends = !round.pages.empty();
        EXPECT_EQ(CountSoon('G', 1, sends ? 2000 : 300), sends ? 1 : 0) << i;
        std::vector<int> pages;
        for (const auto &e : (*sim)->Log())
            if (e.command == 'C' && e.block == 0)
                pages.push_back(e.page);
        EXPECT_EQ(pages, round.pages) << i;
    }
}

TEST_F(UploadTest, NoPortShowsTheBarAtZeroAndFails)
{
    Open();  // no controller: the handler still runs when called
    form->show();
    onBox = [this] {
        barMaximum = form->PrgBar->maximum();
        barValue = form->PrgBar->value();
        barHidden = form->PrgBar->isHidden();
    };
    form->BtnSendPictClick();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kPictFailed);
    EXPECT_EQ(boxes[0].icon, MsgIcon::Error);
    EXPECT_EQ(barMaximum, 0);
    EXPECT_EQ(barValue, 0);
    EXPECT_TRUE(barHidden);
    EXPECT_EQ(form->hostCopy, ConfigRecord{});
}

// Both uploads and both reads of the controller let pending events through
// and refuse a close request while they run.
TEST_F(UploadTest, CloseRequestDuringAnExchangeIsIgnored)
{
    OpenConnected(2, 1);
    const std::vector<std::pair<const char *, std::function<void()>>> exchanges = {
        {"pictures", [this] { form->BtnSendPict->click(); }},
        {"program", [this] { form->BtnSendProg->click(); }},
        {"read", [this] { form->MnuReadCard->trigger(); }},
        {"check", [this] { form->MnuCheckCard->trigger(); }},
    };
    for (const auto &[name, run] : exchanges) {
        bool closedDuringUpload = true;
        bool ranDuringUpload = false;
        QTimer::singleShot(0, form.get(), [&] {
            ranDuringUpload = form->uploading;
            closedDuringUpload = form->close();
        });
        boxes.clear();
        run();
        EXPECT_TRUE(ranDuringUpload) << name;  // pending events were let through
        EXPECT_FALSE(closedDuringUpload) << name;
        EXPECT_TRUE(form->isVisible()) << name;
        ASSERT_EQ(boxes.size(), 1u) << name;
        EXPECT_NE(boxes[0].icon, MsgIcon::Error) << name;
        EXPECT_FALSE(form->uploading) << name;
    }

    EXPECT_TRUE(form->close());  // nothing running: closing works
}

// ---- program upload ----

TEST_F(UploadTest, ProgramSentShowsSuccessAndRecordsTheLengthAfterTheBox)
{
    OpenConnected(2, 5);
    form->BtnSendProg->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kProgCaption);
    EXPECT_EQ(boxes[0].text, kProgSent);
    EXPECT_EQ(boxes[0].icon, MsgIcon::None);
    EXPECT_EQ(countsInBox.second, 9);
    EXPECT_EQ(GetWord(form->hostCopy, cfg::kProgramCount), 5);
    EXPECT_EQ(form->hostCopy[cfg::kPictureCount], 7);
    const auto stored = (*sim)->ConfigRecord();
    EXPECT_EQ(stored[19] << 8 | stored[20], 5);
    EXPECT_EQ(stored[16], 7);
    EXPECT_EQ(CountSoon('G', 1), 1);
    EXPECT_TRUE(form->PrgBar->isHidden());
}

TEST_F(UploadTest, FailedProgramUploadKeepsTheHostCopy)
{
    OpenConnected(2, 5);
    (*sim)->SetFault(sim::Fault::NotOk, (*sim)->FrameCount() + 3);  // the program block
    form->BtnSendProg->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kProgCaption);
    EXPECT_EQ(boxes[0].text, kProgFailed);
    EXPECT_EQ(boxes[0].icon, MsgIcon::Error);
    EXPECT_TRUE(boxes[0].detail.startsWith(QStringLiteral("写入节目表失败\n")))
        << boxes[0].detail.toStdString();
    EXPECT_TRUE(boxes[0].detail.contains(QStringLiteral("节目步数：5（已写入）")));
    EXPECT_EQ(GetWord(form->hostCopy, cfg::kProgramCount), 9);
    EXPECT_EQ(CountSoon('G', 1, 300), 0);
}

TEST_F(UploadTest, SettingsSaveAfterUploadsWritesTheCountsTheControllerHolds)
{
    OpenConnected(3, 4);
    form->BtnSendPict->click();
    form->BtnSendProg->click();
    ASSERT_EQ(boxes.size(), 2u);
    form->ChkOE->click();
    form->BtnCfgSave->click();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[2].icon, MsgIcon::None);
    const auto stored = (*sim)->ConfigRecord();
    EXPECT_EQ(stored[16], 3);
    EXPECT_EQ(stored[19] << 8 | stored[20], 4);
}

}  // namespace
}  // namespace korvex::test
