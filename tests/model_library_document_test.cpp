// The library document without any widget: what the lists show, what the
// tables hold after each page operation, and where the operations refuse.
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "model/effects.h"
#include "model/library_document.h"

namespace korvex {
namespace {

// Names in these tests are ASCII, whose GBK bytes are the UTF-8 text.
std::string Same(const std::string &gbk)
{
    return gbk;
}

PictureColours Filled(uint32_t colour)
{
    PictureColours c;
    c.fill(colour);
    return c;
}

class Document : public ::testing::Test {
protected:
    void SetUp() override { doc = std::make_unique<LibraryDocument>(Same); }

    // A library of `pictures` pictures named p1, p2, ... and the given
    // program entries, loaded as a file would give it.
    void LoadLibrary(int pictures, const std::vector<ProgramEntry> &entries, int length = -1)
    {
        auto data = std::make_unique<LibraryData>();
        for (int i = 0; i < pictures; ++i) {
            data->pictures[static_cast<size_t>(i)].colours[0] = uint32_t(i);
            StoreName(data->pictures[static_cast<size_t>(i)], "p" + std::to_string(i + 1));
        }
        for (size_t s = 0; s < entries.size(); ++s)
            data->program[s] = entries[s];
        data->pictureCount = pictures;
        data->programLength = length >= 0 ? length : static_cast<int>(entries.size());
        doc->Load(*data);
    }

    std::vector<std::string> Steps() const
    {
        std::vector<std::string> out;
        for (int s = 0; s < doc->ProgramLength(); ++s)
            out.push_back(doc->StepLabel(s));
        return out;
    }

    std::unique_ptr<LibraryDocument> doc;
};

TEST_F(Document, ListsOnlyStepsWhosePictureExistsAndCompactsTheTable)
{
    // A hole in the middle: raw and listed entries differ from entry 1 on.
    LoadLibrary(5, {{0, 1, 10}, {7, 2, 20}, {1, 200, 3}, {4, 6, 30}});
    EXPECT_EQ(Steps(),
              (std::vector<std::string>{"001: p1 - 渐显", "002: p2 - ??", "003: p5 - 展开"}));
    const ProgramTable &t = doc->Program();
    EXPECT_EQ(t[1].picture, 1);
    EXPECT_EQ(t[1].effect, 200);
    EXPECT_EQ(t[2].picture, 4);
    EXPECT_EQ(t[2].value, 30);

    auto saved = std::make_unique<LibraryData>();
    doc->Store(*saved);
    EXPECT_EQ(saved->pictureCount, 5);
    EXPECT_EQ(saved->programLength, 3);

    // Lengths outside 0..512 list nothing or at most the table.
    doc->RebuildProgram(-4);
    EXPECT_EQ(doc->ProgramLength(), 0);
    doc->RebuildProgram(100000);
    EXPECT_EQ(doc->ProgramLength(), kMaxProgram);
}

TEST_F(Document, DeletingAPictureRenumbersItsSuccessorsAndRetargetsTheProgram)
{
    LoadLibrary(4, {{1, 0, 1}, {3, 2, 31}, {0, 1, 31}});
    doc->DeletePicture(1);
    ASSERT_EQ(doc->PictureCount(), 3);
    EXPECT_EQ(doc->PictureLabel(1), "002: p3");
    EXPECT_EQ(doc->PictureLabel(2), "003: p4");
    EXPECT_EQ(NameOf(doc->Picture(1)), "p3");
    // Index 1 now names the former picture 3; index 3 is no longer listed.
    EXPECT_EQ(Steps(), (std::vector<std::string>{"001: p3 - 显示", "002: p1 - 渐显"}));
    EXPECT_EQ(doc->Program()[1].picture, 0);

    doc->RenamePicture(0, "x");
    EXPECT_EQ(doc->PictureLabel(0), "001: x");
    EXPECT_EQ(Steps()[1], "002: x - 渐显");
    doc->ReplacePicture(0, Filled(0x00F00000), "y");
    EXPECT_EQ(doc->Picture(0).colours[2047], 0x00F00000u);
    EXPECT_EQ(Steps()[1], "002: y - 渐显");
}

TEST_F(Document, StepLabelsFollowAddChangeAndDelete)
{
    LoadLibrary(3, {});
    // A new step shows its picture's number until the next rebuild.
    EXPECT_EQ(doc->AddStep(2, kEffectWait, 4), 0);
    EXPECT_EQ(doc->StepLabel(0), "003: p3 - 等待");
    EXPECT_EQ(doc->AddStep(0, kEffectLeft, 31), 1);

    doc->ChangeStep(0, kEffectFold, 9);
    EXPECT_EQ(doc->StepLabel(0), "003: p3 - 收拢");
    doc->ChangeStep(0, -1, 2);  // no effect chosen: the effect stays
    EXPECT_EQ(doc->Program()[0].effect, kEffectFold);
    EXPECT_EQ(doc->Program()[0].value, 2);

    doc->DeleteStep(0);
    EXPECT_EQ(Steps(), (std::vector<std::string>{"001: p1 - 左移"}));
    EXPECT_EQ(doc->Program()[0].picture, 0);
    doc->RebuildProgram(doc->ProgramLength());
    EXPECT_EQ(Steps(), (std::vector<std::string>{"001: p1 - 左移"}));
}

TEST_F(Document, FullTablesRefuseAndChangeNothing)
{
    LoadLibrary(kMaxPictures, {});
    EXPECT_EQ(doc->NewPicture(Filled(1), "z"), -1);
    EXPECT_EQ(doc->PictureCount(), kMaxPictures);
    EXPECT_EQ(doc->PictureLabel(120), "121: p121");

    for (int s = 0; s < kMaxProgram; ++s)
        ASSERT_EQ(doc->AddStep(0, 0, 1), s);
    EXPECT_EQ(doc->AddStep(1, 1, 1), -1);
    EXPECT_EQ(doc->ProgramLength(), kMaxProgram);
    EXPECT_EQ(doc->StepLabel(511), "001: p1 - 显示");
}

}  // namespace
}  // namespace korvex
