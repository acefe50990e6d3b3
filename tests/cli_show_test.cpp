// Shows as files: export and import in process over random libraries, and
// korvex-cli export and import run as subprocesses, end to end and against
// hostile show folders.
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <sys/stat.h>
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

// Every file below `dir`, by relative path.
std::map<QString, QByteArray> Files(const QString &dir)
{
    std::map<QString, QByteArray> out;
    for (QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        out[QDir(dir).relativeFilePath(path)] = ReadAll(path);
    }
    return out;
}

void ExpectSameLibrary(const LibraryDocument &a, const LibraryDocument &b)
{
    ASSERT_EQ(a.PictureCount(), b.PictureCount());
    for (int i = 0; i < a.PictureCount(); ++i) {
        EXPECT_EQ(
            0, std::memcmp(a.Picture(i).colours, b.Picture(i).colours, sizeof(uint32_t) * kColours))
            << i;
        EXPECT_EQ(NameOf(a.Picture(i)), NameOf(b.Picture(i))) << i;
    }
    ASSERT_EQ(a.ProgramLength(), b.ProgramLength());
    for (int s = 0; s < a.ProgramLength(); ++s)
        EXPECT_EQ(0, std::memcmp(&a.Program()[s], &b.Program()[s], sizeof(ProgramEntry))) << s;
}

// Libraries as the programs make them (capture clears each channel's low
// four bits), with Chinese names up to 15 GBK bytes and program entries
// that name missing pictures, which are not listed.
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
                c = random() & 0xF0F0F0u;
            std::string name;
            for (int n = random() % 8; n > 0; --n)
                name += chinese[random() % 10];
            StoreName(data->pictures[i], Utf8ToGbk(name + (random() % 2 ? "x" : "")));
        }
        for (int s = 0; s < steps; ++s)
            data->program[s] = {static_cast<uint8_t>(random() % 10 ? random() % pictures : 200),
                                static_cast<uint8_t>(random() % kEffectCount),
                                static_cast<uint8_t>(random() % (kValueMax + 1))};
        LibraryDocument doc(GbkToUtf8);
        doc.Load(*data);
        ASSERT_LT(doc.ProgramLength(), steps);

        QTemporaryDir a, b;
        QString error;
        const ShowExport show = ShowToFiles(doc);
        EXPECT_TRUE(show.warnings.isEmpty());
        ASSERT_TRUE(WriteShowFolder(show, a.path(), false, error)) << error.toStdString();
        LibraryDocument back(GbkToUtf8);
        ASSERT_TRUE(ReadShowFolder(a.path(), back, error)) << error.toStdString();
        ExpectSameLibrary(doc, back);
        ASSERT_TRUE(WriteShowFolder(ShowToFiles(back), b.path(), false, error));
        const auto files = Files(a.path());
        EXPECT_EQ(files.size(), static_cast<size_t>(pictures) + 1);
        EXPECT_TRUE(files == Files(b.path()));
        // 2048 x 1, 8 bits a channel, colour type 2 (RGB)
        EXPECT_EQ(files.at(QStringLiteral("pictures/001.png")).mid(16, 10),
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
    ASSERT_EQ(
        Do({"capture", P("wide.png"), "--name", "红蓝渐变", "--library", P("lib.Dat")}).status, 0);
    ASSERT_EQ(Do({"capture", P("wide.png"), "--name", "b", "--library", P("lib.Dat")}).status, 0);
    ASSERT_EQ(Do({"export", show.toStdString(), "--library", P("lib.Dat")}).status, 0);
    EXPECT_EQ(Do({"export", show.toStdString(), "--library", P("lib.Dat")}).status, 2)
        << "not empty";

    // Picture 2 becomes a BMP of another width, and the program two steps.
    ASSERT_TRUE(narrow.save(show + QStringLiteral("/narrow.bmp"), "BMP"));
    QJsonObject root =
        QJsonDocument::fromJson(ReadAll(show + QStringLiteral("/show.json"))).object();
    QJsonArray pictures = root[QStringLiteral("pictures")].toArray();
    pictures[1] =
        QJsonObject{{"file", "narrow.bmp"}, {"name", "窄"}, {"width", 256}, {"stretch", true}};
    root[QStringLiteral("pictures")] = pictures;
    root[QStringLiteral("program")] =
        QJsonArray{QJsonObject{{"picture", 2}, {"effect", "渐显"}, {"value", 20}},
                   QJsonObject{{"picture", 1}, {"effect", 7}, {"value", 3}}};
    ASSERT_TRUE(WriteAll(show + QStringLiteral("/show.json"), QJsonDocument(root).toJson()));
    const CliRun r = Do({"import", show.toStdString(), "--library", P("new.Dat")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Do({"import", show.toStdString(), "--library", P("new.Dat")}).status, 2) << "exists";
    EXPECT_EQ(Do({"import", show.toStdString(), "--library", P("new.Dat"), "--force"}).status, 0);

    auto lib = std::make_unique<LibraryData>(), imported = std::make_unique<LibraryData>();
    std::string error;
    ASSERT_TRUE(LoadLibraryFile(P("lib.Dat"), *lib, error));
    ASSERT_TRUE(LoadLibraryFile(P("new.Dat"), *imported, error));
    EXPECT_EQ(0, std::memcmp(&lib->pictures[0], &imported->pictures[0], sizeof(PictureRecord)));
    CaptureColours expected{};
    ASSERT_TRUE(CaptureImage(narrow, 256, true, expected));
    EXPECT_EQ(0, std::memcmp(expected.data(), imported->pictures[1].colours, sizeof expected));
    EXPECT_EQ(NameOf(imported->pictures[1]), Utf8ToGbk("窄"));
    ASSERT_EQ(imported->programLength, 2);
    EXPECT_EQ(imported->program[0].picture, 1);
    EXPECT_EQ(imported->program[0].effect, kEffectFadeIn);
    EXPECT_EQ(imported->program[1].effect, kEffectFold);
    EXPECT_EQ(imported->program[1].value, 3);

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
    ASSERT_TRUE(QDir().mkpath(show + QStringLiteral("/folder.png")));
    ASSERT_TRUE(NoiseImage(16, 1).save(dir_.filePath(QStringLiteral("outside.png")), "PNG"));
    ASSERT_TRUE(NoiseImage(16, 1).save(show + QStringLiteral("/a.png"), "PNG"));
    ASSERT_EQ(symlink(P("outside.png").c_str(), (show + QStringLiteral("/link.png")).toUtf8()), 0);
    ASSERT_TRUE(WriteAll(show + QStringLiteral("/junk.png"), "not a picture"));
    ASSERT_TRUE(WriteAll(dir_.filePath(QStringLiteral("lib.Dat")), QByteArray(995192, '\x5A')));
    auto pictures = [](const QString &item, int n = 1) {
        return QStringLiteral("{\"format\": \"korvex-show\", \"version\": 1, \"program\": [], "
                              "\"pictures\": [%1]}")
            .arg(QStringList(n, item).join(','));
    };
    auto steps = [](const QString &item, int n = 1) {
        return QStringLiteral("{\"format\": \"korvex-show\", \"version\": 1, \"pictures\": "
                              "[{\"file\": \"a.png\", \"name\": \"a\"}], \"program\": [%1]}")
            .arg(QStringList(n, item).join(','));
    };
    const QString a = QStringLiteral("{\"file\": \"a.png\", \"name\": \"a\"%1}");
    const std::pair<QString, const char *> cases[] = {
        {QStringLiteral("{\"format\": \"korvex-show\",\n  \"version\": 1,,"),
         "show.json: line 2, column 16"},
        {QString(5000, '['), "too deeply nested"},
        {QStringLiteral("[]"), "must be a JSON object"},
        {QStringLiteral("{\"format\": \"korvex-show\", \"version\": 1, \"pictures\": []}"),
         "\"program\" is missing"},
        {pictures(a.arg(QString())).replace("\"version\": 1", "\"version\": 2"), "version 2"},
        {pictures(a.arg(QString())).replace("korvex-show", "other"), "\"format\" must be"},
        {pictures(a.arg(QString())).replace("[]", "{}"), "\"program\" must be an array"},
        {pictures(a.arg(QString()), 10000), "10000 pictures"},
        {steps(QStringLiteral("{\"picture\": 1, \"effect\": 0, \"value\": 1}"), 513),
         "513 program steps"},
        {pictures(QStringLiteral("7")), "picture 1: must be a JSON object"},
        {pictures(a.arg(QStringLiteral(", \"colour\": 1"))), "picture 1: unknown key \"colour\""},
        {pictures(QStringLiteral("{\"file\": \"a.png\"}")),
         "picture 1: the key \"name\" is missing"},
        {pictures(QStringLiteral("{\"file\": 1, \"name\": \"a\"}")), "\"file\" must be a string"},
        {pictures(QStringLiteral("{\"file\": \"a.png\", \"name\": null}")),
         "\"name\" must be a string"},
        {pictures(QStringLiteral("{\"file\": \"a.png\", \"name\": \"一二三四五六七八\"}")),
         "16 bytes in GBK"},
        {pictures(QStringLiteral("{\"file\": \"a.png\", \"name\": \"\\ud83d\\ude00\"}")),
         "GBK code page"},
        {pictures(a.arg(QStringLiteral(", \"width\": 1e300"))),
         "\"width\" must be a whole number from 8 to 2048, not 1e+300"},
        {pictures(a.arg(QStringLiteral(", \"width\": 16.5"))), "not 16.5"},
        {pictures(a.arg(QStringLiteral(", \"stretch\": 1"))), "\"stretch\" must be true or false"},
        {pictures(
             QStringLiteral("{\"file\": \"%1\", \"name\": \"a\"}").arg(P("outside.png").c_str())),
         "absolute path"},
        {pictures(QStringLiteral("{\"file\": \"pictures/../../outside.png\", \"name\": \"a\"}")),
         "has \"..\""},
        {pictures(QStringLiteral("{\"file\": \"link.png\", \"name\": \"a\"}")),
         "through a symbolic link"},
        {pictures(QStringLiteral("{\"file\": \"a.png\\u0000/../../x.png\", \"name\": \"a\"}")),
         "control character"},
        {pictures(QStringLiteral("{\"file\": \"a.txt\", \"name\": \"a\"}")), "is not a .png, .bmp"},
        {pictures(QStringLiteral("{\"file\": \"b.png\", \"name\": \"a\"}")),
         "show/b.png (picture 1): no such file"},
        {pictures(QStringLiteral("{\"file\": \"folder.png\", \"name\": \"a\"}")),
         "not a regular file"},
        {pictures(QStringLiteral("{\"file\": \"junk.png\", \"name\": \"a\"}")),
         "junk.png (picture 1): not a readable image"},
        {steps(QStringLiteral("{\"picture\": 2, \"effect\": 0, \"value\": 1}")),
         "step 1: \"picture\" must be a picture number from 1 to 1, not 2"},
        {steps(QStringLiteral("{\"picture\": -4294967297, \"effect\": 0, \"value\": 1}")),
         "not -4.29497e+09"},
        {steps(QStringLiteral("{\"picture\": 1, \"effect\": \"闪烁\", \"value\": 1}")),
         "step 1: \"effect\" must be one of"},
        {steps(QStringLiteral("{\"picture\": 1, \"effect\": 8, \"value\": 1}")),
         "\"effect\" must be one of"},
        {steps(QStringLiteral("{\"picture\": 1, \"effect\": 0, \"value\": \"31\"}")),
         "\"value\" must be a whole number from 0 to 31, not a string"},
        {steps(QStringLiteral("{\"picture\": 1, \"effect\": 0}")),
         "step 1: the key \"value\" is missing"},
        {QString(), "show.json: No such file"},
        {QString(1100000, ' '), "larger than 1048576 bytes"},
        {QStringLiteral("fifo"), "show.json: not a regular file"},
    };
    const QByteArray before = ReadAll(dir_.filePath(QStringLiteral("lib.Dat")));
    for (const auto &[json, message] : cases) {
        const QString file = show + QStringLiteral("/show.json");
        QFile::remove(file);
        if (json == QStringLiteral("fifo")) {
            ASSERT_EQ(mkfifo(file.toUtf8(), 0600), 0);
        } else if (!json.isEmpty()) {
            ASSERT_TRUE(WriteAll(file, json.toUtf8()));
        }
        const CliRun r = Do({"import", show.toStdString(), "--library", P("lib.Dat"), "--force"});
        EXPECT_EQ(r.status, 2) << message << "\n" << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << message << "\n" << r.err;
    }
    EXPECT_EQ(ReadAll(dir_.filePath(QStringLiteral("lib.Dat"))), before);
}

}  // namespace
}  // namespace korvex
