// korvex-cli backup and verify: a controller read back into a library
// file, or compared with one. Both only read: nothing is written to the
// controller and it is not restarted.
#include <QString>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/controller_read.h"
#include "app/file_locations.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/library_access.h"
#include "cli/progress.h"
#include "cli/readback_report.h"
#include "cli/record_lines.h"
#include "cli/stop_signals.h"
#include "model/config_record.h"

namespace korvex::cli {

namespace {

// A progress bar made once the total is known (after the record).
class ReadProgress {
public:
    explicit ReadProgress(const char *label) : label_(label) {}
    ReadProgressFn Fn()
    {
        return [this](int position, int total) {
            if (!bar_)
                bar_.emplace(label_, total);
            bar_->Set(position);
        };
    }
    void Finish()
    {
        if (bar_)
            bar_->Finish();
    }

private:
    const char *label_;
    std::optional<ProgressBar> bar_;
};

// What the record says, and the settings command that gives another
// controller the same settings.
void PrintRecord(const ConfigRecord &r, int pictures, int steps)
{
    const unsigned pixels = GetWord(r, cfg::kPixelCount);
    const unsigned order = r[cfg::kColourOrder];
    std::printf("pictures:        %d\n", pictures);
    std::printf("program steps:   %d\n", steps);
    PrintFirmwareLine(r);
    if (!HasSignature(r))
        std::printf("signature:       absent (the record is blank)\n");
    PrintSettingsLines(r);

    std::string line = "korvex-cli settings";
    if (pixels >= static_cast<unsigned>(kPixelCountMin) &&
        pixels <= static_cast<unsigned>(kPixelCountMax))
        line += " --pixels " + std::to_string(pixels);
    if (order < kColourOrders)
        line += " --order " + std::to_string(order);
    line += " --data-invert " + std::to_string(DataInverted(r) ? 1 : 0);
    line += " --oe-invert " + std::to_string(OeInverted(r) ? 1 : 0);
    std::printf("same settings:   %s\n", line.c_str());
}

void PrintSpareBits(const std::vector<SpareBits> &spare)
{
    if (spare.empty())
        return;
    int words = 0;
    for (const SpareBits &s : spare)
        words += s.words;
    std::printf("note: %d pixel word%s in %zu block%s hold bits this program never writes (first: "
                "picture %d, block %d); the library keeps their colours without them\n",
                words, words == 1 ? "" : "s", spare.size(), spare.size() == 1 ? "" : "s",
                spare.front().picture + 1, spare.front().quarter + 1);
}

// The steps a library made from the controller does not list, because
// they name pictures it does not hold, and how many steps it lists.
void PrintUnlistedSteps(const LibraryData &data)
{
    const std::vector<int> steps =
        UnlistedSteps(data.program, data.programLength, data.pictureCount);
    if (steps.empty())
        return;
    std::string numbers;
    for (const int j : steps)
        numbers += (numbers.empty() ? "" : ", ") + std::to_string(j + 1);
    const bool one = steps.size() == 1;
    std::printf("note: program step%s %s name%s picture%s the controller does not hold; the "
                "library lists %d of %d steps\n",
                one ? "" : "s", numbers.c_str(), one ? "s a" : "", one ? "" : "s",
                data.programLength - static_cast<int>(steps.size()), data.programLength);
}

int RunBackup(const Invocation &inv)
{
    const std::string path = inv.args.Get("library");
    if (path.empty()) {
        Error("backup needs --library FILE: the file to write");
        return kExitUsage;
    }
    const QString qpath = QString::fromLocal8Bit(path.c_str());
    if (PathTaken(qpath) && !inv.args.Has("force")) {
        Error(path + " exists; give --force to replace it");
        return kExitUsage;
    }
    const ReadMode mode = inv.args.Has("once") ? ReadMode::Quick : ReadMode::Careful;

    const StopSignals stop;
    ReadProgress progress("reading the controller");
    const ReadResult r =
        ReadController(inv.port, mode, progress.Fn(), [&] { return stop.Requested(); });
    progress.Finish();
    if (!r.ok) {
        Error(std::string(r.end == ReadEnd::Stopped ? "reading the controller interrupted: "
                                                    : "reading the controller failed: ") +
              ReadEndText(r.end, r.where, r.refusal, inv.port) + "; " + path + " was not written");
        return r.end == ReadEnd::Stopped ? stop.ExitStatus() : kExitExchange;
    }

    auto data = std::make_unique<LibraryData>();
    ContentToLibrary(r.content, *data);
    if (!SaveData(path, *data))
        return kExitUsage;
    std::printf("backup written to %s (%d blocks, %d reads)\n", path.c_str(), r.blocks, r.reads);
    PrintRecord(r.content.record, data->pictureCount, data->programLength);
    PrintUnlistedSteps(*data);
    PrintSpareBits(r.spare);
    return kExitOk;
}

int RunVerify(const Invocation &inv)
{
    auto data = std::make_unique<LibraryData>();
    const std::unique_ptr<LibraryDocument> doc = OpenLibrary(inv.libraryPath, *data);
    if (!doc)
        return kExitUsage;
    const StopSignals stop;
    ReadProgress progress("comparing");
    const VerifyResult v =
        VerifyController(doc->Pictures(), doc->PictureCount(), doc->Program(), doc->ProgramLength(),
                         inv.port, progress.Fn(), [&] { return stop.Requested(); });
    progress.Finish();
    const ReadResult &r = v.read;
    if (!r.ok) {
        Error(std::string(r.end == ReadEnd::Stopped ? "verify interrupted: " : "verify failed: ") +
              ReadEndText(r.end, r.where, r.refusal, inv.port));
        return r.end == ReadEnd::Stopped ? stop.ExitStatus() : kExitExchange;
    }
    if (v.differences.empty()) {
        std::printf("the controller holds the library: %d pictures, their names and %d program "
                    "steps\n",
                    doc->PictureCount(), doc->ProgramLength());
        return kExitOk;
    }
    PrintDifferences(v.differences);
    std::printf("the controller differs from the library in %zu place%s\n", v.differences.size(),
                v.differences.size() == 1 ? "" : "s");
    return kExitDiffers;
}

}  // namespace

const CommandDecl kBackupCommand = {
    "backup",
    "read the controller into a library file",
    nullptr,
    "Reads everything the controller holds (its record, pictures 1..n, both\n"
    "name tables and the program) into a library file, and prints its counts,\n"
    "firmware and settings with the 'korvex-cli settings' line that gives\n"
    "another controller the same settings. Only reads: nothing is written to\n"
    "the controller. A read reply carries no check sum, so every block is\n"
    "read until two reads agree; three reads without two that agree end the\n"
    "backup. The file is written only once everything has been read, through\n"
    "a temporary file, never in part. Program steps that name pictures the\n"
    "controller does not hold, which the library will not list, are named.\n"
    "\n"
    "A clone: backup from one controller, then settings, send-pictures and\n"
    "send-program with that file to the other.\n"
    "\n"
    "Ctrl-C or SIGTERM stops after the read in flight; nothing is written.\n",
    {
        {"library", "FILE", "the library file to write", true},
        {"force", nullptr, "replace FILE when it exists"},
        {"once", nullptr,
         "read each block once (about twice as fast); only a picture\n"
         "block holding bits this program never writes is read again"},
    },
    /*usesPort=*/true,
    /*usesLibrary=*/false,
    RunBackup,
    "Exit status: 0 written, 1 the exchange failed (nothing written), 2 bad\n"
    "usage, FILE exists without --force or cannot be written, 130 or 143\n"
    "stopped by SIGINT or SIGTERM (nothing written).\n",
};

const CommandDecl kVerifyCommand = {
    "verify",
    "compare the controller with a library file",
    nullptr,
    "Reads the controller and compares it with the library file: the picture\n"
    "count and program length, every picture's 2048 colours as send-pictures\n"
    "sends them, the names as the name tables carry them, and the steps\n"
    "send-program sends; a step of the controller that names a picture it\n"
    "does not hold is named as such. A block that differs is read again\n"
    "before the difference is reported, one line each. Only reads.\n",
    {},
    /*usesPort=*/true,
    /*usesLibrary=*/true,
    RunVerify,
    "Exit status: 0 the controller holds the library, 3 it differs, 1 the\n"
    "exchange failed, 2 bad usage or a bad library file, 130 or 143 stopped.\n",
};

}  // namespace korvex::cli
