// korvex-cli capture and generate run as a subprocess: the picture capture
// stores is the one the capture dialog's model gives for the same image,
// width and stretch; generate's is the pattern generator's.
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/capture.h"
#include "app/gbk_text.h"
#include "app/image_load.h"
#include "model/library_file.h"
#include "model/pattern.h"
#include "tests/support/capture_images.h"

namespace korvex {
namespace {

using namespace korvex::test;

struct CliResult {
    int status = -1;  // -1: did not end within the time limit
    std::string err;
};

// Runs korvex-cli `command` with `args`, stderr into `errFile`, within 60 s;
// `inChild` runs in the child before the program starts.
CliResult RunCli(const char *command, const std::vector<std::string> &args, const QString &errFile,
                 const std::function<void()> &inChild = {})
{
    std::vector<std::string> all = {KORVEX_CLI, command};
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
        if (inChild)
            inChild();
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
    CliResult Do(std::vector<std::string> args, const std::function<void()> &inChild = {})
    {
        return RunCli("capture", args, dir_.filePath(QStringLiteral("stderr.txt")), inChild);
    }
    CliResult Generate(std::vector<std::string> args)
    {
        return RunCli("generate", args, dir_.filePath(QStringLiteral("stderr.txt")));
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
    ASSERT_TRUE(NoiseImage(100, 12, 1).save(QString::fromStdString(P("a.png")), "PNG"));
    r = Do({P("a.png"), "--name", "png", "--library", P("lib.Dat")});
    ASSERT_EQ(r.status, 0) << r.err;

    const auto lib = Library();
    ASSERT_EQ(lib->pictureCount, 5);
    EXPECT_EQ(Stored(lib->pictures[4]), Stored(lib->pictures[0])) << "the PNG as the BMP";
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

// Whatever the heap holds, a BMP cut short gives the same outcome: refused,
// and no library written (before, the missing rows came from whatever the
// allocator left in memory).
TEST_F(CliCaptureTest, CutOffBmpIsRefusedUnderAnyHeapFill)
{
    const QImage img = NoiseImage(64, 16, 5);
    ASSERT_TRUE(img.save(QString::fromStdString(P("whole.bmp")), "BMP"));
    for (int bpp : {8, 24, 32}) {
        SCOPED_TRACE(bpp);
        const QImage kind = bpp == 8
                                ? img.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither)
                            : bpp == 32 ? img.convertToFormat(QImage::Format_ARGB32)
                                        : img;
        ASSERT_TRUE(kind.save(QString::fromStdString(P("whole.bmp")), "BMP"));
        const QByteArray whole = ReadAll(QString::fromStdString(P("whole.bmp")));
        ASSERT_TRUE(WriteAll(QString::fromStdString(P("cut.bmp")), whole.left(whole.size() - 64)));
        std::vector<CliResult> runs;
        for (const char *fill : {"85", "170"})
            runs.push_back(Do({P("cut.bmp"), "--name", "x", "--library", P("lib.Dat")},
                              [fill] { setenv("MALLOC_PERTURB_", fill, 1); }));
        for (const CliResult &r : runs) {
            EXPECT_EQ(r.status, 2);
            EXPECT_NE(r.err.find("图片文件不完整"), std::string::npos) << r.err;
        }
        EXPECT_EQ(runs[0].err, runs[1].err);
        EXPECT_FALSE(QFile::exists(QString::fromStdString(P("lib.Dat"))));
    }
}

// A library whose count is damaged would take the picture in the wrong
// place (over picture 1) and lose its program: refused, file untouched.
TEST_F(CliCaptureTest, DamagedLibraryIsRefusedAndLeftAsItWas)
{
    ASSERT_TRUE(NoiseImage(64, 4, 1).save(QString::fromStdString(P("a.bmp")), "BMP"));
    ASSERT_EQ(Do({P("a.bmp"), "--name", "one", "--library", P("lib.Dat")}).status, 0);
    QByteArray damaged = ReadAll(QString::fromStdString(P("lib.Dat")));
    damaged[1] = '\x80';  // picture count 0x8001
    damaged[993654] = '\x07';
    ASSERT_TRUE(WriteAll(QString::fromStdString(P("lib.Dat")), damaged));
    for (const std::vector<std::string> &extra :
         {std::vector<std::string>{}, std::vector<std::string>{"--replace", "1"}}) {
        std::vector<std::string> args = {P("a.bmp"), "--name", "two", "--library", P("lib.Dat")};
        args.insert(args.end(), extra.begin(), extra.end());
        const CliResult r = Do(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(P("lib.Dat") + " is damaged: its picture count is 32769"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(ReadAll(QString::fromStdString(P("lib.Dat"))), damaged);
    }
}

// Under a file-size limit the write fails instead of the process dying of
// SIGXFSZ: "Disk full", and the old library stays.
TEST_F(CliCaptureTest, SaveUnderAFileSizeLimitReportsDiskFull)
{
    ASSERT_TRUE(NoiseImage(64, 4, 1).save(QString::fromStdString(P("a.bmp")), "BMP"));
    ASSERT_EQ(Do({P("a.bmp"), "--name", "one", "--library", P("lib.Dat")}).status, 0);
    const QByteArray before = ReadAll(QString::fromStdString(P("lib.Dat")));
    const CliResult r = Do({P("a.bmp"), "--name", "two", "--library", P("lib.Dat")}, [] {
        const rlimit limit = {400000, 400000};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot write the library file " + P("lib.Dat") + ": Disk full"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadAll(QString::fromStdString(P("lib.Dat"))), before);
}

// generate stores exactly the generator's picture; a bad value is named
// with its option and range, and the file stays as it was.
TEST_F(CliCaptureTest, GenerateStoresThePatternAndRefusesBadValues)
{
    const std::string lib = P("lib.Dat");
    CliResult r =
        Generate({"comet", "--name", "流星", "--colors", "#123456", "--pixels", "300", "--repeat",
                  "3", "--length", "40", "--reverse", "--dither", "--library", lib});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Generate(
        {"stripes", "--name=s", "--colors", "red, navy,#0f0", "--width", "5", "--library", lib});
    ASSERT_EQ(r.status, 0) << r.err;

    PatternDescription comet = DefaultPattern(PatternKind::Comet);
    comet.colours = {{0x12, 0x34, 0x56}};
    comet.pixels = 300;
    comet.repeat = 3;
    comet.length = 40;
    comet.reverse = comet.dither = true;
    PatternDescription stripes = DefaultPattern(PatternKind::Stripes);
    stripes.colours = {{0xFF, 0, 0}, {0, 0, 0x80}, {0, 0xFF, 0}};
    stripes.width = 5;
    const auto data = Library();
    ASSERT_EQ(data->pictureCount, 2);
    EXPECT_EQ(NameOf(data->pictures[0]), Utf8ToGbk("流星"));
    EXPECT_EQ(Stored(data->pictures[0]), MakePattern(comet));
    EXPECT_EQ(Stored(data->pictures[1]), MakePattern(stripes));

    const QByteArray before = ReadAll(QString::fromStdString(lib));
    const std::pair<std::vector<std::string>, const char *> bad[] = {
        {{"solid", "--pixels", "15"}, "--pixels takes a number from 16 to 2048, not '15'"},
        {{"rainbow", "--repeat", "65"}, "--repeat takes a number from 1 to 64, not '65'"},
        {{"dots", "--width", "x"}, "--width takes a number from 1 to 2048, not 'x'"},
        {{"comet", "--length", "0"}, "--length takes a number from 1 to 2048, not '0'"},
        {{"gradient", "--colors", "red,fog"}, "--colors: 'fog' is not a colour"},
        {{"stripes", "--colors", "red,red,red,red,red,red,red,red,red"},
         "--colors takes 1 to 8 colours, not 9"},
        {{"plasma"}, "unknown kind 'plasma'"},
    };
    for (const auto &[args, message] : bad) {
        std::vector<std::string> all = args;
        all.insert(all.end(), {"--name", "x", "--library", lib});
        r = Generate(all);
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadAll(QString::fromStdString(lib)), before);
}

TEST_F(CliCaptureTest, Help)
{
    const CliResult r = Do({"--help"});
    EXPECT_EQ(r.status, 0);
}

}  // namespace
}  // namespace korvex
