// Shows as files: export and import in process over random libraries, and
// korvex-cli export and import run as subprocesses, end to end and against
// hostile show folders.
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <sys/wait.h>

#include "app/capture.h"
#include "app/gbk_text.h"
#include "app/image_load.h"
#include "app/show_files.h"
#include "model/effects.h"
#include "model/library_file.h"
#include "tests/support/capture_images.h"

namespace korvex {
namespace {

using namespace korvex::test;

struct CliRun {
    int status = -1;  // 128 + signal when it crashed, 137 when killed after 60 s
    std::string err;
};

CliRun Cli(const std::vector<std::string> &args, const QString &errFile)
{
    std::string cmd = "timeout -s KILL 60 '" KORVEX_CLI "'";
    for (const std::string &a : args)
        cmd += " '" + a + "'";
    cmd += " >/dev/null 2>'" + errFile.toStdString() + "'";
    const int ws = std::system(cmd.c_str());
    return {WIFEXITED(ws) ? WEXITSTATUS(ws) : -1, ReadAll(errFile).toStdString()};
}

std::string Repeat(const std::string &item, int n)
{
    std::string out = item;
    while (--n > 0)
        out += "," + item;
    return out;
}

// Libraries as the programs make them (capture clears each channel's low
// four bits), with Chinese names up to 15 GBK bytes and program entries
// that name missing pictures, which are not listed; but picture 1 carries
// low bits, which export warns of and import clears.
TEST(ShowFilesTest, RandomLibrariesSurviveExportAndImportByteForByte)
{
    const char *const chinese[] = {"红", "蓝", "渐", "变", "星", "光", "彩", "虹", "节", "目"};
    for (const auto &[pictures, steps] : {std::pair{121, 512}, std::pair{7, 40}}) {
        std::mt19937 random(static_cast<unsigned>(pictures));
        auto data = std::make_unique<LibraryData>();
        data->pictureCount = pictures;
        data->programLength = steps;
        for (int i = 0; i < pictures; ++i) {
            for (uint32_t &c : data->pictures[i].colours)
                c = random() & (i == 0 ? 0xFFFFFFu : 0xF0F0F0u);
            std::string name;
            for (int n = random() % 8; n > 0; --n)
                name += chinese[random() % 10];
            StoreName(data->pictures[i], Utf8ToGbk(name + (random() % 2 ? "x" : "")));
        }
        for (int s = 0; s < steps; ++s)
            data->program[s] = {static_cast<uint8_t>(random() % 10 ? random() % pictures : 200),
                                static_cast<uint8_t>(random() % kEffectCount),
                                static_cast<uint8_t>(random() % (kValueMax + 1))};
        auto doc = std::make_unique<LibraryDocument>(GbkToUtf8);
        doc->Load(*data);
        ASSERT_LT(doc->ProgramLength(), steps);
        for (uint32_t &c : data->pictures[0].colours)
            c &= 0xF0F0F0u;
        auto cleared = std::make_unique<LibraryDocument>(GbkToUtf8);
        cleared->Load(*data);

        QTemporaryDir a;
        QString error;
        const ShowExport show = ShowToFiles(*doc);
        EXPECT_EQ(show.warnings, QStringList{QStringLiteral(
                                     "picture 1: low 4 bits of each channel are not kept by the "
                                     "controller; import clears them")});
        ASSERT_TRUE(WriteShowFolder(show, a.path(), false, error)) << error.toStdString();
        auto back = std::make_unique<LibraryDocument>(GbkToUtf8);
        ASSERT_TRUE(ReadShowFolder(a.path(), *back, error)) << error.toStdString();
        ASSERT_EQ(back->PictureCount(), pictures);
        EXPECT_EQ(0, std::memcmp(cleared->Pictures().data(), back->Pictures().data(),
                                 sizeof(PictureRecord) * pictures));
        ASSERT_EQ(back->ProgramLength(), doc->ProgramLength());
        EXPECT_EQ(0, std::memcmp(doc->Program().data(), back->Program().data(),
                                 sizeof(ProgramEntry) * doc->ProgramLength()));
        const ShowExport once = ShowToFiles(*cleared), again = ShowToFiles(*back);
        ASSERT_EQ(once.files.size(), static_cast<size_t>(pictures) + 1);
        ASSERT_EQ(again.files.size(), once.files.size());
        EXPECT_TRUE(again.warnings.isEmpty());
        for (size_t f = 0; f < once.files.size(); ++f)
            EXPECT_TRUE(again.files[f].path == once.files[f].path &&
                        again.files[f].bytes == once.files[f].bytes);
        // 2048 x 1, 8 bits a channel, colour type 2 (RGB)
        EXPECT_EQ(ReadAll(a.filePath(QStringLiteral("pictures/001.png"))).mid(16, 10),
                  QByteArray("\0\0\x08\0\0\0\0\x01\x08\x02", 10));
    }
}

class CliShowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    std::string P(const QString &name) const { return dir_.filePath(name).toStdString(); }
    CliRun Do(const std::vector<std::string> &args)
    {
        return Cli(args, dir_.filePath(QStringLiteral("stderr.txt")));
    }
    QTemporaryDir dir_;
};

TEST_F(CliShowTest, CaptureExportEditImport)
{
    const QString show = dir_.filePath(QStringLiteral("show"));
    const QImage narrow = NoiseImage(100, 2, 2);
    ASSERT_TRUE(NoiseImage(2048, 3, 1).save(dir_.filePath(QStringLiteral("wide.png")), "PNG"));
    ASSERT_EQ(Do({"capture", P("wide.png"), "--name", "红", "--library", P("lib.Dat")}).status, 0);
    ASSERT_EQ(Do({"export", show.toStdString(), "--library", P("lib.Dat")}).status, 0);
    EXPECT_EQ(Do({"export", show.toStdString(), "--library", P("lib.Dat")}).status, 2)
        << "not empty";

    // A BMP of another width as picture 2, and a program of two steps.
    ASSERT_TRUE(narrow.save(show + QStringLiteral("/narrow.bmp"), "BMP"));
    ASSERT_TRUE(WriteAll(show + QStringLiteral("/show.json"),
                         R"({"format": "korvex-show", "version": 1, "pictures": [
        {"file": "pictures/001.png", "name": "红"},
        {"file": "narrow.bmp", "name": "窄", "width": 256, "stretch": true}], "program": [
        {"picture": 2, "effect": "渐显", "value": 20}, {"picture": 1, "effect": 7, "value": 3}]})"));
    const CliRun r = Do({"import", show.toStdString(), "--library", P("new.Dat")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Do({"import", show.toStdString(), "--library", P("new.Dat")}).status, 2) << "exists";
    EXPECT_EQ(Do({"import", show.toStdString(), "--library", P("new.Dat"), "--force"}).status, 0);

    auto imported = std::make_unique<LibraryData>();
    std::string error;
    ASSERT_TRUE(LoadLibraryFile(P("new.Dat"), *imported, error));
    CaptureColours expected{};
    ASSERT_TRUE(CaptureImage(narrow, 256, true, expected));
    EXPECT_EQ(0, std::memcmp(expected.data(), imported->pictures[1].colours, sizeof expected));
    EXPECT_EQ(NameOf(imported->pictures[1]), Utf8ToGbk("窄"));
    const ProgramEntry steps[] = {{1, kEffectFadeIn, 20}, {0, kEffectFold, 3}};
    ASSERT_EQ(imported->programLength, 2);
    EXPECT_EQ(0, std::memcmp(imported->program.data(), steps, sizeof steps));

    // --force replaces the show's files, drops pictures it no longer has,
    // and keeps the rest.
    ASSERT_TRUE(WriteAll(show + QStringLiteral("/pictures/003.png"), "old"));
    ASSERT_EQ(Do({"export", show.toStdString(), "--library", P("new.Dat"), "--force"}).status, 0);
    EXPECT_FALSE(QFile::exists(show + QStringLiteral("/pictures/003.png")));
    EXPECT_TRUE(QFile::exists(show + QStringLiteral("/narrow.bmp")));
}

// Whatever show.json holds, korvex-cli ends with status 2 and a message
// naming the file and the item, and the library file stays as it was.
TEST_F(CliShowTest, HostileShowsAreRefusedAndWriteNothing)
{
    const QString show = dir_.filePath(QStringLiteral("show"));
    ASSERT_TRUE(QDir().mkpath(show));
    ASSERT_TRUE(NoiseImage(16, 1).save(show + QStringLiteral("/a.png"), "PNG"));
    ASSERT_TRUE(
        QFile::copy(show + QStringLiteral("/a.png"), dir_.filePath(QStringLiteral("outside.png"))));
    ASSERT_TRUE(QFile::link(dir_.filePath(QStringLiteral("outside.png")),
                            show + QStringLiteral("/link.png")));
    ASSERT_TRUE(WriteAll(show + QStringLiteral("/junk.png"), "not a picture"));
    ASSERT_TRUE(WriteAll(dir_.filePath(QStringLiteral("lib.Dat")), QByteArray(995192, '\x5A')));
    const QByteArray before = ReadAll(dir_.filePath(QStringLiteral("lib.Dat")));
    struct Case {
        std::string pictures, program;  // the arrays' items, or
        std::string whole;              // all of show.json ("-": no show.json)
        std::string message;
    };
    const std::string a = R"({"file": "a.png", "name": "a"})";
    const std::string step = R"({"picture": 1, "effect": 0, "value": 1})";
    std::vector<Case> cases = {
        // clang-format off
        {"", "", "{\"format\": \"korvex-show\",\n  \"version\": 1,,", "show.json: line 2, column 16"},
        {"", "", R"({"format": "korvex-show", "version": 1, "pictures": []})", "the key \"program\" is missing"},
        {"", "", "-", "show.json: No such file"},
        {"", "", std::string(1100000, ' '), "larger than 1048576 bytes"},
        {R"({"file": "a.png", "name": "a", "colour": 1})", "", "", "picture 1: unknown key \"colour\""},
        {R"({"file": "a.png", "name": "a", "width": 1e300})", "", "", "\"width\" must be a whole number from 8 to 2048, not 1e+300"},
        {R"({"file": "a.png", "name": "a", "stretch": 1})", "", "", "\"stretch\" must be true or false"},
        {R"({"file": "/tmp/a.png", "name": "a"})", "", "", "\"file\" is an absolute path"},
        {R"({"file": "pictures/../../outside.png", "name": "a"})", "", "", "\"file\" has \"..\""},
        {R"({"file": "link.png", "name": "a"})", "", "", "leads outside " + show.toStdString() + " through a symbolic link"},
        {R"({"file": "a.png\u0000/../../x.png", "name": "a"})", "", "", "holds a control character"},
        {R"({"file": "b.png", "name": "a"})", "", "", "show/b.png (picture 1): no such file"},
        {R"({"file": "junk.png", "name": "a"})", "", "", "show/junk.png (picture 1): not a readable image"},
        {a, R"({"picture": 2, "effect": 0, "value": 1})", "", "step 1: \"picture\" must be a picture number from 1 to 1, not 2"},
        {a, R"({"picture": 1, "effect": "闪烁", "value": 1})", "", "step 1: \"effect\" must be one of"},
        {a, R"({"picture": 1, "effect": 0, "value": "31"})", "", "\"value\" must be a whole number from 0 to 31, not a string"},
        {a, R"({"picture": 1, "effect": 0})", "", "step 1: the key \"value\" is missing"},
        // clang-format on
    };
    cases.push_back(
        {Repeat(a, 10000), "", "", "show.json: 10000 pictures; a library holds at most 121"});
    cases.push_back(
        {a, Repeat(step, 513), "", "show.json: 513 program steps; a library holds at most 512"});
    for (const Case &c : cases) {
        const QString file = show + QStringLiteral("/show.json");
        const std::string json = !c.whole.empty()
                                     ? c.whole
                                     : R"({"format": "korvex-show", "version": 1, )"
                                       R"("pictures": [)" +
                                           c.pictures + R"(], "program": [)" + c.program + "]}";
        QFile::remove(file);
        ASSERT_TRUE(json == "-" || WriteAll(file, QByteArray::fromStdString(json)));
        const CliRun r = Do({"import", show.toStdString(), "--library", P("lib.Dat"), "--force"});
        EXPECT_EQ(r.status, 2) << c.message << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.message << "\n" << r.err;
    }
    EXPECT_TRUE(ReadAll(dir_.filePath(QStringLiteral("lib.Dat"))) == before);
}

}  // namespace
}  // namespace korvex
