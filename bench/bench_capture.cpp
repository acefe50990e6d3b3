// bench_capture: the cost of a headless capture (the top row alone) beside
// djpeg's full decode of the same file, and of the dialog's whole-picture
// load. Each measurement runs in a child process of its own, so its peak
// memory is its own.
//
//   bench_capture [--file F.jpg] [--rounds N] [--largest]
//
// Without --file it writes a 24-megapixel (6000 x 4000) baseline JPEG and
// a progressive copy into a temporary folder. --largest adds the largest
// pictures the loader accepts (100 megapixels, baseline and progressive
// greyscale) and prints their peak memory against their decoded size.
#include <QImage>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "app/capture.h"
#include "app/image_load.h"
#include "tests/support/capture_images.h"

namespace {

double Now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

struct Run {
    double seconds = 0;
    double peakMb = 0;  // growth of the child's peak resident size
    bool ok = false;
};

// A small file the children load before measuring, so that code paged in
// and tables set up once do not count as the measured load's memory.
std::string g_warmUp;

// Runs `work` in a child; the child reports its time and the growth of its
// peak resident size through a pipe.
Run InChild(const std::function<bool()> &work)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (!g_warmUp.empty()) {
            korvex::CaptureColours colours;
            const QString warm = QString::fromStdString(g_warmUp);
            (void)korvex::CaptureImage(korvex::LoadImageFile(warm).image, std::nullopt, false,
                                       colours);
            (void)korvex::CaptureImage(korvex::LoadImageTopRow(warm).image, std::nullopt, false,
                                       colours);
        }
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const double t0 = Now();
        Run r;
        r.ok = work();
        r.seconds = Now() - t0;
        getrusage(RUSAGE_SELF, &after);
        r.peakMb = (after.ru_maxrss - before.ru_maxrss) / 1024.0;
        (void)!write(fds[1], &r, sizeof r);
        _exit(0);
    }
    close(fds[1]);
    Run r;
    if (read(fds[0], &r, sizeof r) != sizeof r)
        r = {};
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return r;
}

// djpeg's full decode to /dev/null: wall time and its peak resident size.
Run Djpeg(const std::string &file)
{
    const double t0 = Now();
    const pid_t pid = fork();
    if (pid == 0) {
        execlp("djpeg", "djpeg", "-outfile", "/dev/null", file.c_str(),
               static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage use{};
    wait4(pid, &status, 0, &use);
    Run r;
    r.seconds = Now() - t0;
    r.peakMb = use.ru_maxrss / 1024.0;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

Run Best(int rounds, const std::function<Run()> &once)
{
    Run best;
    for (int i = 0; i < rounds; ++i) {
        const Run r = once();
        if (!r.ok)
            return r;
        if (i == 0 || r.seconds < best.seconds)
            best.seconds = r.seconds;
        best.peakMb = std::max(best.peakMb, r.peakMb);
        best.ok = true;
    }
    return best;
}

// A w x h JPEG with camera-like detail (a gradient with fine noise).
bool WriteJpeg(const std::string &path, int w, int h, bool progressive, bool grey)
{
    QImage img(w, h, QImage::Format_RGB32);
    if (img.isNull())
        return false;
    uint32_t s = 12345;
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            const int v = ((x / 7 + y / 5) & 0xFF) / 2;
            line[x] = qRgb(v + (s >> 27), v / 2 + ((s >> 22) & 31), 128 - v / 2 + ((s >> 17) & 31));
        }
    }
    korvex::test::JpegOptions opt;
    opt.quality = 90;
    opt.progressive = progressive;
    opt.grey = grey;
    return korvex::test::WriteJpeg(QString::fromStdString(path), img, opt);
}

bool CaptureTopRow(const QString &file)
{
    korvex::CaptureColours colours;
    return korvex::CaptureImage(korvex::LoadImageTopRow(file).image, std::nullopt, false, colours);
}

bool CaptureWhole(const QString &file)
{
    korvex::CaptureColours colours;
    return korvex::CaptureImage(korvex::LoadImageFile(file).image, std::nullopt, false, colours);
}

void Report(const std::string &file, const char *what, int rounds)
{
    const QString qfile = QString::fromStdString(file);
    const Run djpeg = Best(rounds, [&] { return Djpeg(file); });
    const Run top = Best(rounds, [&] { return InChild([&] { return CaptureTopRow(qfile); }); });
    const Run whole = Best(rounds, [&] { return InChild([&] { return CaptureWhole(qfile); }); });
    std::printf("%s (%s)\n", what, file.c_str());
    if (!djpeg.ok)
        std::printf("  djpeg full decode: not run (djpeg missing or failed)\n");
    else
        std::printf("  djpeg full decode: %7.3f s   peak %7.1f MB\n", djpeg.seconds, djpeg.peakMb);
    if (top.ok)
        std::printf("  capture, top row : %7.3f s   peak +%6.2f MB%s\n", top.seconds, top.peakMb,
                    djpeg.ok ? ("   " + std::to_string(top.seconds / djpeg.seconds).substr(0, 5) +
                                " x djpeg")
                                   .c_str()
                             : "");
    else
        std::printf("  capture, top row : failed\n");
    if (whole.ok)
        std::printf(
            "  whole picture    : %7.3f s   peak +%6.1f MB%s\n", whole.seconds, whole.peakMb,
            djpeg.ok
                ? ("   " + std::to_string(whole.seconds / djpeg.seconds).substr(0, 5) + " x djpeg")
                      .c_str()
                : "");
    else
        std::printf("  whole picture    : failed\n");
}

void ReportPeak(const std::string &file, const char *what, int64_t pixels)
{
    const QString qfile = QString::fromStdString(file);
    const Run whole = InChild([&] { return CaptureWhole(qfile); });
    const double decodedMb = pixels * 4 / (1024.0 * 1024.0);
    if (!whole.ok) {
        std::printf("%s: not loaded\n", what);
        return;
    }
    std::printf("%s: %.2f s, peak +%.0f MB = %.2f x its decoded size (%.0f MB)\n", what,
                whole.seconds, whole.peakMb, whole.peakMb / decodedMb, decodedMb);
}

// Writes the file in a child, so the parent stays small for the children
// that measure.
bool Make(const std::string &path, int w, int h, bool progressive, bool grey)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(WriteJpeg(path, w, h, progressive, grey) ? 0 : 1);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char **argv)
{
    std::string file;
    int rounds = 3;
    bool largest = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--file" && i + 1 < argc)
            file = argv[++i];
        else if (a == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--largest")
            largest = true;
        else {
            std::fprintf(stderr, "usage: bench_capture [--file F.jpg] [--rounds N] [--largest]\n");
            return 2;
        }
    }
    char tmpl[] = "/tmp/bench-capture-XXXXXX";
    if (!mkdtemp(tmpl)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = tmpl;
    std::vector<std::string> made;
    auto make = [&](const char *name, int w, int h, bool progressive, bool grey) {
        const std::string path = dir + "/" + name;
        made.push_back(path);
        if (!Make(path, w, h, progressive, grey)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return std::string();
        }
        return path;
    };
    g_warmUp = make("warm-up.jpg", 64, 32, true, false);
    if (!file.empty())
        Report(file, "given file", rounds);
    const std::string baseline = file.empty() ? make("24mp.jpg", 6000, 4000, false, false) : "";
    const std::string progressive =
        file.empty() ? make("24mp-progressive.jpg", 6000, 4000, true, false) : "";
    if (!baseline.empty())
        Report(baseline, "24 MP baseline 4:2:0", rounds);
    if (!progressive.empty())
        Report(progressive, "24 MP progressive 4:2:0", rounds);
    if (largest) {
        const std::string big = make("100mp.jpg", 10000, 10000, false, false);
        if (!big.empty())
            ReportPeak(big, "100 MP baseline, whole picture", 100'000'000);
        const std::string bigGrey = make("100mp-grey-progressive.jpg", 10000, 10000, true, true);
        if (!bigGrey.empty())
            ReportPeak(bigGrey, "100 MP progressive greyscale, whole picture", 100'000'000);
    }
    for (const std::string &p : made)
        std::remove(p.c_str());
    rmdir(dir.c_str());
    return 0;
}
