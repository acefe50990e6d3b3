// The changed upload against the paced simulator, a library of 121
// pictures, in-process (SendChangedPictures), the record of uploads in a
// folder of its own:
//   same     the library sent again, unchanged: only the two reads (target
//            1.0 s, against the full upload's 132 s);
//   one      one picture changed: its four blocks and name table 1 twice
//            (target 1.1 x the line time of the frames it sent);
//   foreign  name table 1 written by another program first: a full upload
//            (target 1.005 x the full upload's line time plus the one read).
// The controller starts from a full upload into an unpaced simulator whose
// memory file the paced one then loads. Line time: every byte of every
// request and reply the simulator logged, at 10 bits a byte.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "bench/bench_common.h"
#include "app/changed_upload.h"
#include "link/korvex_api.h"
#include "model/encoders.h"
#include "model/library.h"
#include "model/line.h"
#include "model/memory_map.h"
#include "sim/simulator.h"

namespace {

using namespace korvex;
using namespace korvex::bench;

struct Target {
    const char *name;
    double ratio;        // of the line time of what the upload had to send
    double seconds = 0;  // else this wall time
};

// Bytes on the line for one logged frame and its reply: a frame is its
// payload and 13 bytes; block and record writes are answered "OK", a read
// with the 1024 bytes, a restart not at all.
long FrameLineBytes(char command)
{
    switch (command) {
    case 'A': return (3 + 13) + 1024;
    case 'B':
    case 'C': return (1027 + 13) + 2;
    case 'D': return (257 + 13) + 2;
    case 'G': return 1 + 13;
    default: return 13 + 2;
    }
}

double LineSeconds(const std::vector<sim::FrameLogEntry> &log)
{
    long bytes = 0;
    for (const sim::FrameLogEntry &e : log)
        bytes += FrameLineBytes(e.command);
    return bytes * 10.0 / kBaud;
}

bool Started(sim::Simulator &sim)
{
    if (sim.Start()) {
        setenv("KORVEX_COM1", sim.SlavePath().c_str(), 1);
        return true;
    }
    std::fprintf(stderr, "bench_changed: cannot start the simulator\n");
    return false;
}

// The controller after a full korvex upload of `lib`, kept in `memory`.
bool Prime(const LibraryData &lib, const std::string &memory)
{
    sim::Options opt;
    opt.memoryFile = memory;
    sim::Simulator sim(opt);
    if (!Started(sim))
        return false;
    const UploadResult r = SendPictures(lib.pictures, kPictures, 1, nullptr);
    sim.Stop();
    if (!r.ok)
        std::fprintf(stderr, "bench_changed: the first full upload failed\n");
    return r.ok;
}

// One changed upload of `lib` against the paced simulator on `memory`;
// `before` runs first, untimed and unlogged. Prints the figures; false when
// the upload failed or missed its target.
template <class Before>
bool Measure(const Target &target, const LibraryData &lib, const std::string &memory,
             Before &&before)
{
    sim::Options opt;
    opt.memoryFile = memory;
    opt.baudPacing = kBaud;
    sim::Simulator sim(opt);
    if (!Started(sim))
        return false;
    before();
    sim.ClearLog();
    ChangedPlan plan;
    ChangedOptions options;
    options.onPlan = [&](const ChangedPlan &p) { plan = p; };
    const auto t0 = std::chrono::steady_clock::now();
    const ChangedResult r =
        SendChangedPictures(lib.pictures, kPictures, 1, nullptr, nullptr, options);
    const double wall = Seconds(std::chrono::steady_clock::now() - t0);
    // The restart awaits no reply: let the simulator log it.
    usleep(200 * 1000);
    const std::vector<sim::FrameLogEntry> log = sim.Log();
    sim.Stop();
    if (!r.upload.ok) {
        std::fprintf(stderr, "bench_changed: %s: the changed upload failed\n", target.name);
        return false;
    }
    const double line = LineSeconds(log);
    const double limit = target.seconds > 0 ? target.seconds : target.ratio * line;
    std::printf("%s: %s, %zu pictures sent, %zu frames\n", target.name,
                plan.full ? ("full upload: " + FullReasonText(plan.reason)).c_str()
                          : "only what changed",
                plan.pages.size(), log.size());
    std::printf("  line time   %.3f s\n", line);
    std::printf("  wall time   %.3f s (%.3f x line time; target %.3f s) %s\n", wall, wall / line,
                limit, wall <= limit ? "within the target" : "OVER THE TARGET");
    return wall <= limit;
}

}  // namespace

int main(int argc, char **argv)
{
    AimPortsNowhere();
    const std::string only = argc > 1 ? argv[1] : "";
    if (!only.empty() && only != "--same" && only != "--one" && only != "--foreign") {
        std::fprintf(stderr, "usage: bench_changed [--same | --one | --foreign]\n");
        return 2;
    }
    char tmpl[] = "/tmp/bench-changed-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string dir = tmpl;
    // The record of uploads lives in the data folder: this run's own.
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
    const std::string memory = dir + "/controller.mem";

    auto lib = FullLibrary();
    bool ok = Prime(*lib, memory);
    if (ok && (only.empty() || only == "--same"))
        ok &= Measure({"same library again", 0, 1.0}, *lib, memory, [] {});
    if (ok && (only.empty() || only == "--one")) {
        lib->pictures[60].colours[5] ^= 0x00F00000u;
        ok &= Measure({"one picture changed", 1.1}, *lib, memory, [] {});
    }
    if (ok && (only.empty() || only == "--foreign")) {
        // Another program's picture upload ends with name table 1 written
        // from the buffer that held name table 0: no tag of ours.
        Block1K names = EncodeNameTable(lib->pictures, 0);
        const Block1K table1 = EncodeNameTable(lib->pictures, 1);
        std::copy(table1.begin(), table1.begin() + 896, names.begin());
        ok &= Measure({"full upload after another program", 1.005}, *lib, memory, [&] {
            const BlockAddress at = NameTableAddress(1);
            const bool written =
                ComInitial(1, kBaud) != 0 && Write1KData(at.page, at.block, names.data()) != 0;
            ComClose();
            if (!written)
                std::fprintf(stderr, "bench_changed: the foreign write failed\n");
        });
    }
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
