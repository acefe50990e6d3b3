// GBK text, list labels and the settings file reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

#include "app/gbk_text.h"
#include "model/labels.h"
#include "app/profile.h"
#include "tests/support/gbk_cases.h"

namespace korvex {
namespace {

using gbk_cases::kRedGbk;
using gbk_cases::kRedUtf8;

TEST(GbkText, ConvertsBothWaysReplacingWhatDoesNotConvert)
{
    for (const gbk_cases::Case &c : gbk_cases::kToUtf8)
        EXPECT_EQ(GbkToUtf8(c.from), c.to) << c.what;
    for (const gbk_cases::Case &c : gbk_cases::kToGbk)
        EXPECT_EQ(Utf8ToGbk(c.from), c.to) << c.what;
    EXPECT_EQ(GbkLength(kRedUtf8 + "ab"), 6);
    EXPECT_EQ(GbkLength(""), 0);
}

TEST(GbkText, TruncationNeverSplitsACharacter)
{
    const std::string seven = "\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80"
                              "\xE4\xB8\x80\xE4\xB8\x80";  // 一 x7, 14 GBK bytes
    EXPECT_EQ(TruncateToGbkBytes(seven + "ab", 15), seven + "a");
    EXPECT_EQ(TruncateToGbkBytes("a" + seven, 15), "a" + seven);
    EXPECT_EQ(GbkLength(TruncateToGbkBytes("ab" + seven, 15)), 14);
    EXPECT_EQ(TruncateToGbkBytes("abc", 0), "");
}

TEST(Labels, ZeroRuleOnNumbersOneToThreeDigits)
{
    EXPECT_EQ(PictureLabel(1, "abc"), "001: abc");
    EXPECT_EQ(PictureLabel(12, kRedUtf8), "012: " + kRedUtf8);
    EXPECT_EQ(PictureLabel(121, ""), "121: ");
    EXPECT_EQ(StepLabel(7, "x", "\xE6\x98\xBE\xE7\xA4\xBA"), "007: x - \xE6\x98\xBE\xE7\xA4\xBA");
    // Only the first two characters change; a blank name stays blank.
    EXPECT_EQ(ZeroFill("  1:  a"), "001:  a");
    EXPECT_EQ(ZeroFill(" "), "0");
}

class Profile : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/korvex-ini-XXXXXX";
        const int fd = mkstemp(tmpl);
        ASSERT_GE(fd, 0);
        close(fd);
        path = tmpl;
    }
    void TearDown() override { unlink(path.c_str()); }
    void Write(const std::string &text)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }
    std::string Title() { return ReadProfileString(path, "Setup", "Title", "<none>"); }
    std::string path;
};

TEST_F(Profile, SectionsKeysCaseBlanksAndComments)
{
    Write("; comment\r\n[Other]\r\nTitle=wrong\r\n  [ setup ]  \r\n;Title=commented\r\n"
          "  TITLE  =   My tube  \r\nTitle=second\r\n");
    EXPECT_EQ(Title(), "My tube");
    EXPECT_TRUE(ProfileHasKey(path, "SETUP", "title"));
    EXPECT_FALSE(ProfileHasKey(path, "Setup", "Missing"));

    Write("[Setup]\nTitle=\"quoted \"\nOther=1\n");
    EXPECT_EQ(Title(), "quoted ");

    Write("[Setup]\nTitle=\n");
    EXPECT_EQ(Title(), "");                        // present but empty
    Write("[Setup]\rTitle=one\rline\rOther=1\r");  // a lone CR ends a line too
    EXPECT_EQ(Title(), "one");
    Write("[Setup]\nCaption=x\n[Next]\nTitle=not here\n");
    EXPECT_EQ(Title(), "<none>");
    EXPECT_EQ(ReadProfileString(path + ".missing", "Setup", "Title", "d"), "d");
}

TEST_F(Profile, GbkOrUtf8Text)
{
    Write("[Setup]\nTitle=" + kRedGbk + " V2\n");
    EXPECT_EQ(Title(), kRedUtf8 + " V2");
    Write("[Setup]\nTitle=" + kRedUtf8 + "\n");
    EXPECT_EQ(Title(), kRedUtf8);
    Write("\xEF\xBB\xBF[Setup]\nTitle=" + kRedUtf8 + "\n");
    EXPECT_EQ(Title(), kRedUtf8);
}

// Only the file's first 64 KiB count, up to the last whole line in them: a
// key beyond is not seen, and a line cut by the limit (here a UTF-8 title,
// which cut would no longer decode) is dropped rather than read in part.
TEST_F(Profile, OnlyTheWholeLinesOfTheFirst64KiBAreRead)
{
    const std::string filler = "; " + std::string(kProfileReadLimit - 40, 'x') + "\n";
    Write("[Setup]\n" + filler + "Title=" + kRedUtf8 + "\n");
    EXPECT_EQ(Title(), kRedUtf8);  // ends inside the limit
    Write("[Setup]\n" + filler + "Other=" + std::string(40, 'y') + "\nTitle=late\n");
    EXPECT_EQ(Title(), "<none>");
    Write("[Setup]\n" + filler + "Title=" + std::string(30, 'a') + kRedUtf8 + "\n");
    EXPECT_EQ(Title(), "<none>");
}

}  // namespace
}  // namespace korvex
