// korvex-cli send-pictures and send-program: the desktop program's uploads,
// fed from a library file read through the same document as the window.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

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

int RunSendPictures(const Invocation &inv)
{
    const int port = inv.port;
    auto data = std::make_unique<LibraryData>();
    const std::unique_ptr<LibraryDocument> doc = OpenLibrary(inv.libraryPath, *data);
    if (!doc)
        return kExitUsage;
    const int n = doc->PictureCount();
    const bool only = inv.args.Has("only");
    std::vector<int> chosen;
    std::string error;
    if (only && !ParsePictureNumbers(inv.args.Get("only"), n, chosen, error)) {
        Error("--only: " + error);
        return kExitUsage;
    }

    UploadResult result;
    const StopSignals stop;
    {
        ProgressBar bar("sending pictures", 4 * (only ? static_cast<int>(chosen.size()) : n));
        bar.Set(0);
        const ProgressFn progress = [&](int position) { bar.Set(position); };
        const StopFn stopRequested = [&] { return stop.Requested(); };
        result = only
                     ? SendChosenPictures(doc->Pictures(), n, chosen, port, progress, stopRequested)
                     : SendPictures(doc->Pictures(), n, port, progress, stopRequested);
    }
    if (!result.ok) {
        ReportUnfinishedUpload(UploadKind::Pictures, result, port);
        return result.stopped ? stop.ExitStatus() : kExitExchange;
    }
    const int sent = static_cast<int>(result.pages.size());
    const std::string of = only ? "of " + std::to_string(n) + " " : "";
    std::printf("sent %d %spicture%s (%d blocks) and both name tables; the controller restarts\n",
                sent, of.c_str(), sent == 1 && !only ? "" : "s", result.Blocks());
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
    const StopSignals stop;
    const UploadResult result =
        SendProgram(doc->Program(), m, port, [&] { return stop.Requested(); });
    if (!result.ok) {
        ReportUnfinishedUpload(UploadKind::Program, result, port);
        return result.stopped ? stop.ExitStatus() : kExitExchange;
    }
    std::printf("sent a program of %d step%s; the controller restarts\n", m, m == 1 ? "" : "s");
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
    "130 after SIGINT, 143 after SIGTERM.\n",
    {{"only", "LIST",
      "send only these pictures, numbered as 'list' shows them: 3,5-7;\n"
      "the record still gets the library's picture count"}},
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
    {},
    /*usesPort=*/true,
    /*usesLibrary=*/true,
    RunSendProgram,
};

}  // namespace korvex::cli
