// Picture uploads: the full library (121 pictures, 484 block writes) and
// one picture sent alone.
//
// Paced: korvex-cli send-pictures against the simulator pacing its line at
// 38400 baud; prints the wall time against the line-time limit (every byte
// of every request and reply at 10 bits a byte, one after the other).
// One picture: the chosen-picture upload in-process against the paced
// simulator (record read and write, 4 blocks, 2 name tables, restart);
// prints its wall time against 1.05 times its line time.
// Unpaced: the upload sequence in-process against a simulator that answers
// at once; prints the host thread's CPU time per block.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/bench_common.h"
#include "app/upload.h"
#include "model/encoders.h"
#include "model/library_file.h"
#include "model/line.h"
#include "sim/simulator.h"

namespace {

using namespace korvex;
using namespace korvex::bench;

// One picture alone may take this much more than its line time.
constexpr double kOnePictureAllowance = 1.05;

// Bytes on the line for an upload of n pictures: frames are payload + 13 bytes.
long LineBytes(int n)
{
    const long read = (3 + 13) + 1024;
    const long record = (257 + 13) + 2;
    const long block = (1027 + 13) + 2;
    const long restart = 1 + 13;
    return read + record + 4L * n * block + 2 * block + restart;
}

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

std::string ProgramDir()
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string exe = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string("./x");
    return exe.substr(0, exe.rfind('/'));
}

// Runs korvex-cli and returns its exit status (-1 when it could not run).
int RunCli(const std::string &cli, const std::string &device, const std::string &library)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execl(cli.c_str(), cli.c_str(), "send-pictures", "--device", device.c_str(), "--library",
              library.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    if (pid < 0)
        return -1;
    int ws = 0;
    waitpid(pid, &ws, 0);
    return WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
}

// A simulator whose replies keep to the line rate.
sim::Options PacedLine()
{
    sim::Options opt;
    opt.baudPacing = kBaud;
    return opt;
}

bool Started(sim::Simulator &sim)
{
    if (sim.Start())
        return true;
    std::fprintf(stderr, "bench_upload: cannot start the simulator\n");
    return false;
}

int Paced(const std::string &library)
{
    sim::Simulator sim(PacedLine());
    if (!Started(sim))
        return 1;
    const std::string cli = ProgramDir() + "/korvex-cli";
    const auto t0 = std::chrono::steady_clock::now();
    const int status = RunCli(cli, sim.SlavePath(), library);
    const double wall = Seconds(std::chrono::steady_clock::now() - t0);
    const int blocks = sim.CountOf('C');
    sim.Stop();
    if (status != 0 || blocks != 4 * kPictures) {
        std::fprintf(stderr, "bench_upload: korvex-cli exited %d after %d blocks\n", status,
                     blocks);
        return 1;
    }
    const double limit = LineBytes(kPictures) * 10.0 / kBaud;
    std::printf("paced upload at %d baud (korvex-cli send-pictures, %d pictures, %d blocks)\n",
                kBaud, kPictures, blocks);
    std::printf("  line bytes        %ld\n", LineBytes(kPictures));
    std::printf("  line-time limit   %.2f s\n", limit);
    std::printf("  wall time         %.2f s\n", wall);
    std::printf("  limit / wall      %.2f %% of the line rate\n", 100.0 * limit / wall);
    return 0;
}

int OnePicture(const LibraryData &lib)
{
    sim::Simulator sim(PacedLine());
    if (!Started(sim))
        return 1;
    setenv("KORVEX_COM1", sim.SlavePath().c_str(), 1);
    const int rounds = 3;
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        const UploadResult res = SendChosenPictures(lib.pictures, kPictures, {60}, 1, nullptr);
        const double wall = Seconds(std::chrono::steady_clock::now() - t0);
        if (!res.ok || res.Blocks() != 4) {
            std::fprintf(stderr, "bench_upload: the one-picture upload failed\n");
            return 1;
        }
        best = std::min(best, wall);
    }
    setenv("KORVEX_COM1", "/nonexistent/bench-com1", 1);
    sim.Stop();
    const double line = LineBytes(1) * 10.0 / kBaud;
    const double limit = kOnePictureAllowance * line;
    std::printf("one picture at %d baud (picture 61 alone, in-process, best of %d)\n", kBaud,
                rounds);
    std::printf("  line bytes        %ld\n", LineBytes(1));
    std::printf("  line time         %.3f s\n", line);
    std::printf("  limit             %.3f s (%.2f x line time)\n", limit, kOnePictureAllowance);
    std::printf("  wall time         %.3f s (%.3f x line time) %s\n", best, best / line,
                best <= limit ? "within the limit" : "OVER THE LIMIT");
    return best <= limit ? 0 : 1;
}

int Unpaced(const LibraryData &lib)
{
    sim::Simulator sim;
    if (!Started(sim))
        return 1;
    setenv("KORVEX_COM1", sim.SlavePath().c_str(), 1);
    const int rounds = 3;
    double best = 1e9, bestWall = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const double c0 = ThreadCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        const UploadResult res = SendPictures(lib.pictures, kPictures, 1, nullptr);
        const double cpu = ThreadCpuSeconds() - c0;
        const double wall = Seconds(std::chrono::steady_clock::now() - t0);
        if (!res.ok) {
            std::fprintf(stderr, "bench_upload: unpaced upload failed\n");
            return 1;
        }
        best = std::min(best, cpu);
        bestWall = std::min(bestWall, wall);
    }
    setenv("KORVEX_COM1", "/nonexistent/bench-com1", 1);
    sim.Stop();

    // Encoding alone, for comparison.
    const double e0 = ThreadCpuSeconds();
    unsigned sink = 0;
    for (int i = 0; i < kPictures; ++i)
        for (int b = 0; b < 4; ++b)
            sink += EncodePictureBlock(lib.pictures[i], b)[17];
    const double encode = ThreadCpuSeconds() - e0;

    const int blocks = 4 * kPictures;
    std::printf("unpaced upload (in-process, best of %d)\n", rounds);
    std::printf("  host CPU per block   %.1f us (whole upload %.1f ms CPU)\n", 1e6 * best / blocks,
                1e3 * best);
    std::printf("  wall per block       %.1f us\n", 1e6 * bestWall / blocks);
    std::printf("  encoding per block   %.1f us (checksum %u)\n", 1e6 * encode / blocks, sink & 1);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    AimPortsNowhere();
    const std::string only = argc > 1 ? argv[1] : "";
    if (!only.empty() && only != "--paced" && only != "--unpaced" && only != "--one") {
        std::fprintf(stderr, "usage: bench_upload [--paced | --unpaced | --one]\n");
        return 2;
    }

    char tmpl[] = "/tmp/bench-upload-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string library = std::string(tmpl) + "/korvex.Dat";
    // The uploads keep their record of what they left here, not in the
    // user's data folder.
    setenv("XDG_DATA_HOME", tmpl, 1);
    const auto lib = FullLibrary();
    std::string error;
    if (!SaveLibraryFile(library, *lib, error)) {
        std::fprintf(stderr, "bench_upload: %s\n", error.c_str());
        return 1;
    }
    int rc = 0;
    if (only.empty() || only == "--unpaced")
        rc |= Unpaced(*lib);
    if (only.empty() || only == "--one")
        rc |= OnePicture(*lib);
    if (only.empty() || only == "--paced")
        rc |= Paced(library);
    std::filesystem::remove_all(tmpl);
    return rc;
}
