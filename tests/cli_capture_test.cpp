// korvex-cli capture run as a subprocess: the picture it stores is the one
// the capture dialog's model gives for the same image, width and stretch.
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/capture.h"
#include "app/gbk_text.h"
#include "app/image_load.h"
#include "model/library_file.h"
#include "tests/support/capture_images.h"

namespace korvex {
namespace {

using namespace korvex::test;

struct CliResult {
    int status = -1;  // -1: did not end within the time limit
    std::string err;
};

// Runs korvex-cli capture with `args`, stderr into `errFile`, within 60 s.
CliResult Capture(const std::vector<std::string> &args, const QString &errFile)
{
    std::vector<std::string> all = {KORVEX_CLI, "capture"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const QByteArray errPath = QFile::encodeName(errFile);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(errPath.constData(), "w", stderr) || !freopen("/dev/null", "w", stdout))
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    CliResult r;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int ws = 0;
    while (waitpid(pid, &ws, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &ws, 0);
            return r;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(ws))
        r.status = WEXITSTATUS(ws);
    r.err = ReadAll(errFile).toStdString();
    return r;
}

class CliCaptureTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    std::string P(const char *name) const
    {
        return dir_.filePath(QString::fromUtf8(name)).toStdString();
    }
    CliResult Do(std::vector<std::string> args)
    {
        return Capture(args, dir_.filePath(QStringLiteral("stderr.txt")));
    }
    std::unique_ptr<LibraryData> Library() const
    {
        auto data = std::make_unique<LibraryData>();
        std::string error;
        EXPECT_TRUE(LoadLibraryFile(P("lib.Dat"), *data, error)) << error;
        return data;
    }
    static CaptureColours Expected(const std::string &image, std::optional<int> width, bool stretch)
    {
        CaptureColours c{};
        EXPECT_TRUE(
            CaptureImage(LoadImageFile(QString::fromStdString(image)).image, width, stretch, c));
        return c;
    }
    static CaptureColours Stored(const PictureRecord &r)
    {
        CaptureColours c{};
        std::memcpy(c.data(), r.colours, sizeof r.colours);
        return c;
    }

    QTemporaryDir dir_;
};

TEST_F(CliCaptureTest, BuildsALibraryAsTheDialogWould)
{
    ASSERT_TRUE(NoiseImage(100, 12, 1).save(QString::fromStdString(P("a.bmp")), "BMP"));
    JpegOptions prog;
    prog.progressive = true;
    ASSERT_TRUE(WriteJpeg(QString::fromStdString(P("b.jpg")), GradientImage(2500, 30), prog));
    ASSERT_TRUE(WriteJpeg(QString::fromStdString(P("c.JPEG")), GradientImage(256, 8)));

    CliResult r = Do({P("a.bmp"), "--name", "图一", "--library", P("lib.Dat")});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Do({"--library", P("lib.Dat"), "--name", "wide", P("b.jpg")});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Do({P("c.JPEG"), "--name=s", "--width", "64", "--stretch", "--library", P("lib.Dat")});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Do({P("a.bmp"), "--name", "w", "--width", "250", "--library", P("lib.Dat")});
    ASSERT_EQ(r.status, 0) << r.err;

    const auto lib = Library();
    ASSERT_EQ(lib->pictureCount, 4);
    EXPECT_EQ(NameOf(lib->pictures[0]), Utf8ToGbk("图一"));
    EXPECT_EQ(lib->pictures[0].nameLength, 4);
    EXPECT_EQ(NameOf(lib->pictures[1]), "wide");
    EXPECT_EQ(Stored(lib->pictures[0]), Expected(P("a.bmp"), std::nullopt, false));
    EXPECT_EQ(Stored(lib->pictures[1]), Expected(P("b.jpg"), std::nullopt, false));
    EXPECT_EQ(Stored(lib->pictures[2]), Expected(P("c.JPEG"), 64, true));
    // 250 is rounded up by the field to 256: black columns up to 256
    const CaptureColours w = Stored(lib->pictures[3]);
    EXPECT_EQ(w, Expected(P("a.bmp"), 256, false));
    EXPECT_EQ(w[255], 0u);
    EXPECT_EQ(w[256], w[0]);
    EXPECT_EQ(lib->programLength, 0);
}

TEST_F(CliCaptureTest, ReplacesAPictureInPlace)
{
    ASSERT_TRUE(NoiseImage(64, 4, 1).save(QString::fromStdString(P("a.bmp")), "BMP"));
    ASSERT_TRUE(NoiseImage(80, 4, 2).save(QString::fromStdString(P("b.bmp")), "BMP"));
    ASSERT_EQ(Do({P("a.bmp"), "--name", "one", "--library", P("lib.Dat")}).status, 0);
    ASSERT_EQ(Do({P("a.bmp"), "--name", "two", "--library", P("lib.Dat")}).status, 0);
    ASSERT_EQ(Do({P("b.bmp"), "--name", "新", "--replace", "1", "--library", P("lib.Dat")}).status,
              0);
    const auto lib = Library();
    EXPECT_EQ(lib->pictureCount, 2);
    EXPECT_EQ(NameOf(lib->pictures[0]), Utf8ToGbk("新"));
    EXPECT_EQ(NameOf(lib->pictures[1]), "two");
    EXPECT_EQ(Stored(lib->pictures[0]), Expected(P("b.bmp"), std::nullopt, false));

    const QByteArray before = ReadAll(QString::fromStdString(P("lib.Dat")));
    for (const char *n : {"0", "3", "x"})
        EXPECT_EQ(Do({P("b.bmp"), "--name", "z", "--replace", n, "--library", P("lib.Dat")}).status,
                  2)
            << n;
    EXPECT_EQ(ReadAll(QString::fromStdString(P("lib.Dat"))), before);
}

TEST_F(CliCaptureTest, RefusesBadNamesWidthsAndImages)
{
    ASSERT_TRUE(NoiseImage(64, 4).save(QString::fromStdString(P("a.bmp")), "BMP"));
    ASSERT_TRUE(WriteAll(QString::fromStdString(P("huge.jpg")),
                         DeclareSize(
                             [&] {
                                 EXPECT_TRUE(WriteJpeg(QString::fromStdString(P("s.jpg")),
                                                       GradientImage(16, 16)));
                                 return ReadAll(QString::fromStdString(P("s.jpg")));
                             }(),
                             60000, 60000, 32)));
    const std::string lib = P("lib.Dat");
    struct Case {
        std::vector<std::string> args;
        const char *why;
    };
    const Case cases[] = {
        {{P("a.bmp"), "--name", "一二三四五六七八", "--library", lib}, "16 GBK bytes"},
        {{P("a.bmp"), "--name", "", "--library", lib}, "empty name"},
        {{P("a.bmp"), "--library", lib}, "no name"},
        {{"--name", "x", "--library", lib}, "no image"},
        {{P("a.bmp"), P("a.bmp"), "--name", "x", "--library", lib}, "two images"},
        {{P("a.bmp"), "--name", "x", "--width", "4000", "--library", lib}, "width"},
        {{P("a.bmp"), "--name", "x", "--width", "7", "--library", lib}, "width below 8"},
        {{P("missing.bmp"), "--name", "x", "--library", lib}, "missing image"},
        {{P("huge.jpg"), "--name", "x", "--library", lib}, "declared 60000 x 60000"},
        {{P("a.bmp"), "--name", "x", "--bogus", "--library", lib}, "unknown option"},
    };
    for (const Case &c : cases) {
        const CliResult r = Do(c.args);
        EXPECT_EQ(r.status, 2) << c.why;
        EXPECT_FALSE(r.err.empty()) << c.why;
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(lib))) << "nothing was written";

    // 15 bytes is the most a name may take
    const CliResult ok = Do({P("a.bmp"), "--name", "一二三四五六七x", "--library", lib});
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(NameOf(Library()->pictures[0]).size(), 15u);
}

TEST_F(CliCaptureTest, Help)
{
    const CliResult r = Do({"--help"});
    EXPECT_EQ(r.status, 0);
}

}  // namespace
}  // namespace korvex
