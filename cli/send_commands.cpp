// korvex-cli send-pictures and send-program: the desktop program's uploads,
// fed from a library file read through the same document as the window.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/changed_upload.h"
#include "app/picture_numbers.h"
#include "app/upload.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/library_access.h"
#include "cli/progress.h"
#include "cli/stop_signals.h"
#include "cli/upload_report.h"

namespace korvex::cli {

namespace {

const OptionDecl kVerifyOption = {
    "verify", nullptr,
    "read back every block written and the record before the restart;\n"
    "when anything differs, say what (exit status 3) and send no restart"};

// 130/143 after a stop, 3 when the read-back found the controller holding
// something else, 1 for a failed exchange.
int ExitStatusOf(const UploadResult &r, const StopSignals &stop)
{
    if (r.stopped)
        return stop.ExitStatus();
    const bool differs = r.step == UploadStep::ReadBack && r.check.end == ReadEnd::Done &&
                         !r.check.differences.empty();
    return differs ? kExitDiffers : kExitExchange;
}

// "pictures 1-3, 7 (16 blocks), name table 2 and the record (8 pictures)"
std::string PlanText(const ChangedPlan &plan)
{
    std::vector<std::string> parts;
    if (!plan.pages.empty())
        parts.push_back((plan.pages.size() == 1 ? "picture " : "pictures ") +
                        PictureNumbers(plan.pages) + " (" + std::to_string(plan.Blocks()) +
                        " blocks)");
    if (plan.nameTable0)
        parts.push_back("name table 1");
    if (plan.nameTable1)
        parts.push_back("name table 2");
    if (plan.record)
        parts.push_back("the record (" + std::to_string(plan.count) + " picture" +
                        (plan.count == 1 ? "" : "s") + ")");
    std::string text;
    for (size_t k = 0; k < parts.size(); ++k)
        text += (k == 0 ? "" : k + 1 == parts.size() ? " and " : ", ") + parts[k];
    return text;
}

int RunSendChanged(const Invocation &inv, const LibraryDocument &doc)
{
    ChangedOptions options;
    options.check = inv.args.Has("verify");
    options.dryRun = inv.args.Has("dry-run");
    const StopSignals stop;
    std::optional<ProgressBar> bar;
    options.onPlan = [&](const ChangedPlan &plan) {
        if (plan.full)
            std::printf("sending everything: %s\n", FullReasonText(plan.reason).c_str());
        if (plan.Nothing())
            std::printf("nothing changed; nothing %s sent\n", options.dryRun ? "would be" : "was");
        else if (options.dryRun)
            std::printf("would send %s\n", PlanText(plan).c_str());
        std::fflush(stdout);
        if (options.dryRun || plan.Nothing())
            return;
        const int pages = static_cast<int>(plan.pages.size());
        bar.emplace("sending pictures",
                    4 * pages + (options.check ? CheckedBlocks(pages, true, false) : 0));
        bar->Set(0);
    };
    const ChangedResult changed = SendChangedPictures(
        doc.Pictures(), doc.PictureCount(), inv.port,
        [&](int position) {
            if (bar)
                bar->Set(position);
        },
        [&] { return stop.Requested(); }, options);
    bar.reset();
    const UploadResult &result = changed.upload;
    if (!result.ok) {
        ReportUnfinishedUpload(UploadKind::Pictures, result, inv.port);
        return ExitStatusOf(result, stop);
    }
    if (!options.dryRun && !changed.plan.Nothing())
        std::printf("sent %s%s; the controller restarts\n", PlanText(changed.plan).c_str(),
                    options.check ? ", read back and found as sent" : "");
    return kExitOk;
}

int RunSendPictures(const Invocation &inv)
{
    const int port = inv.port;
    auto data = std::make_unique<LibraryData>();
    const std::unique_ptr<LibraryDocument> doc = OpenLibrary(inv.libraryPath, *data);
    if (!doc)
        return kExitUsage;
    const int n = doc->PictureCount();
    const bool only = inv.args.Has("only");
    if (inv.args.Has("changed")) {
        if (only) {
            Error("--changed and --only cannot go together");
            return kExitUsage;
        }
        return RunSendChanged(inv, *doc);
    }
    if (inv.args.Has("dry-run")) {
        Error("--dry-run goes with --changed");
        return kExitUsage;
    }
    std::vector<int> chosen;
    std::string error;
    if (only && !ParsePictureNumbers(inv.args.Get("only"), n, chosen, error)) {
        Error("--only: " + error);
        return kExitUsage;
    }

    const bool check = inv.args.Has("verify");
    const int pages = only ? static_cast<int>(chosen.size()) : n;
    UploadResult result;
    const StopSignals stop;
    {
        ProgressBar bar("sending pictures",
                        4 * pages + (check ? CheckedBlocks(pages, true, false) : 0));
        bar.Set(0);
        const ProgressFn progress = [&](int position) { bar.Set(position); };
        const StopFn stopRequested = [&] { return stop.Requested(); };
        result = only ? SendChosenPictures(doc->Pictures(), n, chosen, port, progress,
                                           stopRequested, check)
                      : SendPictures(doc->Pictures(), n, port, progress, stopRequested, check);
    }
    if (!result.ok) {
        ReportUnfinishedUpload(UploadKind::Pictures, result, port);
        return ExitStatusOf(result, stop);
    }
    const int sent = static_cast<int>(result.pages.size());
    const std::string of = only ? "of " + std::to_string(n) + " " : "";
    std::printf("sent %d %spicture%s (%d blocks) and both name tables%s; the controller restarts\n",
                sent, of.c_str(), sent == 1 && !only ? "" : "s", result.Blocks(),
                check ? ", read back and found as sent" : "");
    return kExitOk;
}

int RunSendProgram(const Invocation &inv)
{
    const int port = inv.port;
    auto data = std::make_unique<LibraryData>();
    const std::unique_ptr<LibraryDocument> doc = OpenLibrary(inv.libraryPath, *data);
    if (!doc)
        return kExitUsage;
    const int stored = data->programLength;

    const int m = doc->ProgramLength();
    if (m != stored)
        Error("warning: " + std::to_string(stored - m) +
              " program step(s) name pictures the library does not hold and are not listed; "
              "sending the " +
              std::to_string(m) + " listed steps, as the desktop program does");
    const bool check = inv.args.Has("verify");
    const StopSignals stop;
    const UploadResult result = SendProgram(
        doc->Program(), m, port, [&] { return stop.Requested(); }, check);
    if (!result.ok) {
        ReportUnfinishedUpload(UploadKind::Program, result, port);
        return ExitStatusOf(result, stop);
    }
    std::printf("sent a program of %d step%s%s; the controller restarts\n", m, m == 1 ? "" : "s",
                check ? ", read back and found as sent" : "");
    return kExitOk;
}

}  // namespace

const CommandDecl kSendPicturesCommand = {
    "send-pictures",
    "send the library's pictures and names",
    nullptr,
    "Sends every picture of the library file (four blocks each), both name\n"
    "tables and the new picture count, then restarts the controller. A\n"
    "progress bar is drawn on stderr when it is a terminal; otherwise one\n"
    "line is written when the upload starts and one when it ends.\n"
    "\n"
    "Ctrl-C or SIGTERM stops the upload after the block in flight (a second\n"
    "one is ignored meanwhile); then, as after a failure, korvex-cli says\n"
    "what the controller now holds. Sending again completes it. Exit status\n"
    "130 after SIGINT, 143 after SIGTERM.\n"
    "\n"
    "With --changed, only what differs from the controller's last upload is\n"
    "sent, when the controller still carries the tag of an upload this\n"
    "computer keeps a record of, and the record agrees with it; then name\n"
    "table 2 with a new tag goes last. Otherwise everything is sent, after a\n"
    "line that says why. When nothing differs, nothing is sent.\n",
    {{"only", "LIST",
      "send only these pictures, numbered as 'list' shows them: 3,5-7;\n"
      "the record still gets the library's picture count"},
     {"changed", nullptr,
      "send only the pictures and tables that differ from the\n"
      "controller's last upload, or everything when that is unknown"},
     {"dry-run", nullptr, "with --changed: say what would be sent and write nothing"},
     kVerifyOption},
    /*usesPort=*/true,
    /*usesLibrary=*/true,
    RunSendPictures,
};

const CommandDecl kSendProgramCommand = {
    "send-program",
    "send the library's program",
    nullptr,
    "Sends the program steps the desktop program lists for the library file\n"
    "and their number, then restarts the controller. Ctrl-C or SIGTERM stops\n"
    "it before the next command, as for send-pictures.\n",
    {kVerifyOption},
    /*usesPort=*/true,
    /*usesLibrary=*/true,
    RunSendProgram,
};

}  // namespace korvex::cli
