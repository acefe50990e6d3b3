// Reading a full controller back (121 pictures, 512 steps), in-process
// against the simulator pacing its line at 38400 baud.
//
// Quick and careful backups: ReadController over the whole memory map
// (record, 484 picture blocks, 2 name tables, program block); prints the
// wall time, the reads made and the wall time against their line time
// (each read is a 16-byte request and a 1024-byte reply at 10 bits a
// byte). Checked upload: SendPictures with the read-back of what it wrote;
// prints its wall time against the line time of its writes and reads.
// Any ratio above 1.005 is flagged: the host and the simulator should
// add next to nothing to the line time.
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "app/controller_read.h"
#include "app/upload.h"
#include "model/config_record.h"
#include "model/encoders.h"
#include "model/library_file.h"
#include "model/line.h"
#include "model/memory_map.h"
#include "sim/simulator.h"

namespace {

using namespace korvex;
using namespace korvex::bench;

constexpr int kSteps = 512;
constexpr double kTarget = 1.005;

// A read: 'A' and a 2-byte address framed (13 bytes), then the block.
constexpr long kReadBytes = (3 + 13) + 1024;
// Record, four blocks per picture, two name tables, program block.
constexpr int kBackupBlocks = 1 + kBlocksPerPicture * kPictures + 2 + 1;

double LineSeconds(long bytes)
{
    return bytes * 10.0 / kBaud;
}

// Bytes on the line for the writes of an n-picture upload and the record
// read before them (as bench_upload counts them).
long UploadLineBytes(int n)
{
    const long record = (257 + 13) + 2;
    const long block = (1027 + 13) + 2;
    const long restart = 1 + 13;
    return kReadBytes + record + 4L * n * block + 2 * block + restart;
}

void Store(sim::Simulator &sim, BlockAddress at, const Block1K &block)
{
    sim.SetBlock(at.page, at.block, std::vector<uint8_t>(block.begin(), block.end()));
}

// Gives the simulator what a full upload leaves: every block, and the
// record (controller order) with both counts.
void Fill(sim::Simulator &sim, const LibraryData &lib)
{
    for (int i = 0; i < kPictures; ++i)
        for (int b = 0; b < kBlocksPerPicture; ++b)
            Store(sim, PictureBlockAddress(i, b), EncodePictureBlock(lib.pictures[i], b));
    for (int t = 0; t < 2; ++t)
        Store(sim, NameTableAddress(t), EncodeNameTable(lib.pictures, t));
    Store(sim, kProgramAddress, EncodeProgramBlock(lib.program, kSteps));
    std::array<uint8_t, 256> record = sim.ConfigRecord();
    record[cfg::kPictureCount] = kPictures;
    record[cfg::kProgramCount] = kSteps >> 8;
    record[cfg::kProgramCount + 1] = kSteps & 0xFF;
    sim.SetConfigRecord(record);
}

void PrintRatio(double wall, double line)
{
    const double ratio = wall / line;
    std::printf("  line time         %.2f s\n", line);
    std::printf("  wall time         %.2f s\n", wall);
    std::printf("  ratio %.4fx%s\n", ratio, ratio <= kTarget ? "" : "   ABOVE THE 1.005 TARGET");
}

// Whether a backup took exactly what the simulator holds.
bool Faithful(const ReadResult &r, const LibraryData &lib)
{
    if (!r.ok || r.blocks != kBackupBlocks || r.content.PictureCount() != kPictures ||
        r.content.ProgramLength() != kSteps ||
        r.content.pictureBlocks.size() != size_t(kBlocksPerPicture * kPictures))
        return false;
    for (int i = 0; i < kPictures; ++i)
        for (int b = 0; b < kBlocksPerPicture; ++b)
            if (r.content.pictureBlocks[size_t(kBlocksPerPicture * i + b)] !=
                EncodePictureBlock(lib.pictures[i], b))
                return false;
    return r.content.nameTables[0] == EncodeNameTable(lib.pictures, 0) &&
           r.content.nameTables[1] == EncodeNameTable(lib.pictures, 1) &&
           r.content.programBlock == EncodeProgramBlock(lib.program, kSteps);
}

int Backup(sim::Simulator &sim, const LibraryData &lib, ReadMode mode)
{
    const bool quick = mode == ReadMode::Quick;
    const int expectedReads = quick ? kBackupBlocks : 2 * kBackupBlocks;
    Fill(sim, lib);
    sim.ClearLog();
    const auto t0 = std::chrono::steady_clock::now();
    const ReadResult r = ReadController(1, mode, nullptr);
    const double wall = Seconds(std::chrono::steady_clock::now() - t0);
    if (!Faithful(r, lib)) {
        std::fprintf(stderr, "bench_readback: the %s backup failed (end %d, %d blocks)\n",
                     quick ? "quick" : "careful", static_cast<int>(r.end), r.blocks);
        return 1;
    }
    std::printf("%s backup at %d baud (%d pictures, %d steps, %d blocks)\n",
                quick ? "quick" : "careful", kBaud, kPictures, kSteps, r.blocks);
    std::printf("  Read1KData calls  %d (expected %d)\n", r.reads, expectedReads);
    PrintRatio(wall, LineSeconds(r.reads * kReadBytes));
    return r.reads == expectedReads ? 0 : 1;
}

int CheckedUpload(sim::Simulator &sim, const LibraryData &lib)
{
    sim.ClearLog();
    const auto t0 = std::chrono::steady_clock::now();
    const UploadResult res = SendPictures(lib.pictures, kPictures, 1, nullptr, nullptr, true);
    const double wall = Seconds(std::chrono::steady_clock::now() - t0);
    // Every read after the one before the writes; the read-back takes the
    // record only when two reads agree, so it reads it twice.
    const int checkReads = sim.CountOf('A') - 1;
    if (!res.ok || !res.checked || res.Blocks() != 4 * kPictures) {
        std::fprintf(stderr, "bench_readback: the checked upload failed (step %d)\n",
                     static_cast<int>(res.step));
        return 1;
    }
    const double writes = LineSeconds(UploadLineBytes(kPictures));
    const double reads = LineSeconds(checkReads * kReadBytes);
    std::printf("checked upload at %d baud (%d pictures, %d blocks written, %d read back)\n", kBaud,
                kPictures, res.Blocks(), checkReads);
    std::printf("  writes            %.2f s line time\n", writes);
    std::printf("  read-back         %.2f s line time\n", reads);
    PrintRatio(wall, writes + reads);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    AimPortsNowhere();
    bool quick = false, careful = false, checked = false;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "--quick")
            quick = true;
        else if (arg == "--careful")
            careful = true;
        else if (arg == "--checked")
            checked = true;
        else {
            std::fprintf(stderr, "usage: bench_readback [--quick] [--careful] [--checked]\n");
            return 2;
        }
    }
    if (!quick && !careful && !checked)
        quick = careful = checked = true;

    const auto lib = FullLibrary(kSteps);
    sim::Options opt;
    opt.baudPacing = kBaud;
    sim::Simulator sim(opt);
    if (!sim.Start()) {
        std::fprintf(stderr, "bench_readback: cannot start the simulator\n");
        return 1;
    }
    setenv("KORVEX_COM1", sim.SlavePath().c_str(), 1);
    // The checked upload keeps its record of what it left in this run's own
    // data folder, not the user's.
    char data[] = "/tmp/bench-readback-XXXXXX";
    if (!mkdtemp(data))
        return 1;
    setenv("XDG_DATA_HOME", data, 1);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int rc = 0;
    if (quick)
        rc |= Backup(sim, *lib, ReadMode::Quick);
    if (careful)
        rc |= Backup(sim, *lib, ReadMode::Careful);
    if (checked)
        rc |= CheckedUpload(sim, *lib);
    setenv("KORVEX_COM1", "/nonexistent/bench-com1", 1);
    sim.Stop();
    std::filesystem::remove_all(data);
    return rc;
}
