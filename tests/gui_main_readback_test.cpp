// The picture list's two reads of the controller: the read that replaces
// the library (asked first while there are unsaved changes, saved only by
// Save) and the check against it, with their boxes.
#include <QAction>
#include <QTimer>
#include <tuple>

#include "app/port_diagnosis.h"
#include "app/upload.h"
#include "model/encoders.h"
#include "tests/gui_main_fixture.h"

namespace korvex::test {
namespace {

const QString kReadCaption = QStringLiteral("读取控制卡");
const QString kCheckCaption = QStringLiteral("核对控制卡");
const QString kNoAnswer = QStringLiteral("原因：串口已打开，但控制卡没有应答");

using Lists = std::tuple<std::vector<QString>, std::vector<QString>, std::vector<QString>>;

std::vector<QString> Items(const QListWidget *list)
{
    std::vector<QString> out;
    for (int i = 0; i < list->count(); ++i)
        out.push_back(list->item(i)->text());
    return out;
}

void Plant(sim::Simulator &sim, int page, int block, const Block1K &data)
{
    sim.SetBlock(page, block, {data.begin(), data.end()});
}

class ReadBackTest : public MainWindowTest {
protected:
    // A library whose picture i is one colour throughout, which the
    // controller keeps exactly.
    static std::unique_ptr<LibraryData> Library(const std::vector<std::string> &names, int steps)
    {
        auto data = MakeLibrary(names, steps);
        for (size_t i = 0; i < names.size(); ++i)
            std::fill(std::begin(data->pictures[i].colours), std::end(data->pictures[i].colours),
                      0x00102030u * uint32_t(i + 1));
        return data;
    }
    // The controller holds `held`, uploaded as the window would; the library
    // file holds `file`; the window is open and connected, the log empty.
    void OpenWith(const LibraryData &held, const LibraryData &file)
    {
        EnableExchangeRecord();  // as the window does, before the first open
        StartController(ControllerRecord("1.1", 0, 2048, 0));
        ASSERT_TRUE(SendPictures(held.pictures, held.pictureCount, 1, nullptr).ok);
        ASSERT_TRUE(SendProgram(held.program, held.programLength, 1).ok);
        ASSERT_EQ(CountSoon('G', 2), 2);
        WriteLibrary(file);
        Open();
        ASSERT_TRUE(form->connected);
        (*sim)->ClearLog();
    }
    Lists Shown() const
    {
        return {Items(form->PictList), Items(form->nPictList), Items(form->nProgList)};
    }
    std::tuple<bool, bool, bool, bool> Unsaved() const
    {
        return {form->picturesDirty, form->programDirty, form->BtnSavePict->isEnabled(),
                form->BtnSaveProgList->isEnabled()};
    }
};

TEST_F(ReadBackTest, ReadAsksWhileUnsavedThenReplacesTheLibraryWithoutSaving)
{
    auto held = Library({"卡一", "卡二", "卡三"}, 4);
    held->program[2] = ProgramEntry{2, 3, 17};
    held->program[3] = ProgramEntry{7, 0, 1};  // picture 8: the controller holds 3
    OpenWith(*held, *Library({"a", "b"}, 2));
    const Lists before = Shown();
    // Unsaved changes on either page: the answer No leaves everything.
    for (QPushButton *save : {form->BtnSavePict, form->BtnSaveProgList}) {
        save->setEnabled(true);
        form->MnuReadCard->trigger();
        save->setEnabled(false);
    }
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[1].caption, kReadCaption);
    EXPECT_EQ(questions[1].text, QStringLiteral("图形库和节目表有未保存的修改，读取后将被控制卡"
                                                "中的内容替换。是否继续？"));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ((*sim)->FrameCount(), 0);
    EXPECT_EQ(Shown(), before);

    form->BtnSaveProgList->setEnabled(true);
    answerYes = true;
    int barMaximum = -1, barValue = -1;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        if (form->uploading && form->PrgBar->isVisibleTo(form.get())) {
            barMaximum = form->PrgBar->maximum();
            barValue = form->PrgBar->value();
        }
    });
    sample.start(0);
    form->MnuReadCard->trigger();
    sample.stop();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kReadCaption);
    EXPECT_EQ(boxes[0].text, QStringLiteral("读取成功"));
    EXPECT_EQ(boxes[0].icon, MsgIcon::None);
    EXPECT_EQ(boxes[0].detail,
              QStringLiteral("节目第 4 步所用的图形不在控制卡中，图形库只列出 4 步中的 3 步"));
    EXPECT_EQ(barMaximum, 1 + 3 * 4 + 3);  // record, pictures, name tables, program
    EXPECT_EQ(barValue, barMaximum);
    EXPECT_TRUE(form->PrgBar->isHidden());

    auto expected = std::make_unique<LibraryDocument>(GbkToUtf8);
    expected->Load(*held);
    Lists listed;
    for (int i = 0; i < expected->PictureCount(); ++i)
        for (auto *list : {&std::get<0>(listed), &std::get<1>(listed)})
            list->push_back(QString::fromStdString(expected->PictureLabel(i)));
    for (int s = 0; s < expected->ProgramLength(); ++s)
        std::get<2>(listed).push_back(QString::fromStdString(expected->StepLabel(s)));
    EXPECT_EQ(Shown(), listed);
    EXPECT_EQ(form->doc.Picture(2).colours[2047], held->pictures[2].colours[2047]);
    EXPECT_EQ(form->doc.Program()[2].value, 17);
    EXPECT_EQ(Unsaved(), std::make_tuple(true, true, true, true));  // not saved yet
}

TEST_F(ReadBackTest, FailedReadChangesNothingAndTellsWhereAndWhy)
{
    OpenWith(*Library({"c1", "c2", "c3"}, 1), *Library({"a", "b"}, 2));
    const Lists before = Shown();
    const auto unsaved = Unsaved();
    struct Case {
        QAction *action;
        std::function<void()> fault;
        QString caption, firstLine, lastLine;
    };
    // Each block is read twice: the record, picture 1, then the first read
    // of picture 2's third block is frame 15.
    const Case cases[] = {
        {form->MnuReadCard, [this] { (*sim)->SetFault(sim::Fault::NoReply, 15); }, kReadCaption,
         QStringLiteral("停在：图形 2 第 3 块（第 1 页第 2 块）"), kNoAnswer},
        {form->MnuReadCard,
         [this] {
             auto record = (*sim)->ConfigRecord();
             record[16] = 200;
             (*sim)->SetConfigRecord(record);
         },
         kReadCaption, QStringLiteral("停在：配置记录"),
         QStringLiteral("原因：控制卡的图形数为 200，超过 121")},
        {form->MnuCheckCard, [this] { (*sim)->SetFault(sim::Fault::NoReply, 1); }, kCheckCaption,
         QStringLiteral("停在：配置记录"), kNoAnswer},
    };
    for (const Case &c : cases) {
        boxes.clear();
        (*sim)->SetFault(sim::Fault::None);
        (*sim)->ClearLog();
        c.fault();
        c.action->trigger();
        ASSERT_EQ(boxes.size(), 1u) << c.firstLine.toStdString();
        EXPECT_EQ(boxes[0].caption, c.caption);
        EXPECT_EQ(boxes[0].text, QStringLiteral("读取失败"));
        EXPECT_EQ(boxes[0].icon, MsgIcon::Error);
        const QStringList detail = boxes[0].detail.split(QLatin1Char('\n'));
        EXPECT_EQ(detail.first(), c.firstLine) << boxes[0].detail.toStdString();
        EXPECT_EQ(detail.last(), c.lastLine) << boxes[0].detail.toStdString();
        EXPECT_EQ(Shown(), before);
        EXPECT_EQ(Unsaved(), unsaved);
    }
    EXPECT_TRUE(questions.empty());  // nothing unsaved, nothing asked
}

TEST_F(ReadBackTest, CheckTellsWhetherTheControllerHoldsTheLibrary)
{
    const auto library = Library({"p1", "p2", "p3"}, 3);
    OpenWith(*library, *library);
    form->MnuCheckCard->trigger();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kCheckCaption);
    EXPECT_EQ(boxes[0].text, QStringLiteral("控制卡内容与图形库一致"));
    EXPECT_EQ(boxes[0].icon, MsgIcon::None);

    // Planted in the controller: a fourth step in its record, three pixels
    // of picture 2's third block, picture 3's name, step 2's value.
    auto record = (*sim)->ConfigRecord();
    record[20] = 4;
    (*sim)->SetConfigRecord(record);
    auto changed = std::make_unique<PictureTable>(library->pictures);
    for (int k = 5; k < 8; ++k)
        (*changed)[1].colours[2 * kPixelsPerBlock + k] = 0x00F0F0F0u;
    Plant(sim->sim(), 1, 2, EncodePictureBlock((*changed)[1], 2));
    StoreName((*changed)[2], "p9");
    Plant(sim->sim(), kTablesPage, kNameTable1Block, EncodeNameTable(*changed, 0));
    ProgramTable program = library->program;
    program[1].value = 30;
    Plant(sim->sim(), kTablesPage, kProgramBlock, EncodeProgramBlock(program, 4));

    form->MnuCheckCard->trigger();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].caption, kCheckCaption);
    EXPECT_EQ(boxes[1].text, QStringLiteral("控制卡内容与图形库不一致"));
    EXPECT_EQ(boxes[1].icon, MsgIcon::Warning);
    EXPECT_EQ(boxes[1].detail, QStringLiteral("节目步数：控制卡 4，图形库 3\n"
                                              "图形 2：2048 个点中有 3 个不同，第一个在第 1030 点\n"
                                              "图形 3 的名字不同\n"
                                              "第 2 步不同"));
}

}  // namespace
}  // namespace korvex::test
