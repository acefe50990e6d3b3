// korvex-cli send-pictures and send-program: the desktop program's uploads,
// fed from a library file read through the same document as the window.
#include <cstdio>
#include <memory>

#include "app/gbk_text.h"
#include "app/upload.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/library_access.h"
#include "cli/port_choice.h"
#include "cli/progress.h"
#include "model/library_document.h"

namespace korvex::cli {

namespace {

// The library as the window holds it after loading the file; null (the
// reason printed) when the file cannot be used. `storedLength` receives
// the program length the file gives.
std::unique_ptr<LibraryDocument> OpenLibrary(const std::string &path, int *storedLength = nullptr)
{
    auto data = std::make_unique<LibraryData>();
    if (!LoadLibrary(path, *data))
        return nullptr;
    auto doc = std::make_unique<LibraryDocument>(GbkToUtf8);
    doc->Load(*data);
    if (storedLength)
        *storedLength = data->programLength;
    return doc;
}

int RunSendPictures(const Invocation &inv)
{
    const int port = inv.port;
    const std::unique_ptr<LibraryDocument> doc = OpenLibrary(inv.libraryPath);
    if (!doc)
        return kExitUsage;

    const int n = doc->PictureCount();
    int reached = 0;
    UploadResult result;
    {
        ProgressBar bar("sending pictures", 4 * n);
        bar.Set(0);
        result = SendPictures(doc->Pictures(), n, port, [&](int position) {
            reached = position;
            bar.Set(position);
        });
    }
    if (!result.ok) {
        if (reached == 0)
            Error("sending pictures failed: " + WhyExchangeFailed(port));
        else
            Error("sending pictures failed at block " + std::to_string(reached) + " of " +
                  std::to_string(4 * n) + " (picture " + std::to_string((reached - 1) / 4 + 1) +
                  "): the controller stopped answering on " + DescribePort(port));
        return kExitExchange;
    }
    std::printf("sent %d picture%s (%d blocks) and both name tables; the controller restarts\n", n,
                n == 1 ? "" : "s", 4 * n);
    return kExitOk;
}

int RunSendProgram(const Invocation &inv)
{
    const int port = inv.port;
    int stored = 0;
    const std::unique_ptr<LibraryDocument> doc = OpenLibrary(inv.libraryPath, &stored);
    if (!doc)
        return kExitUsage;

    const int m = doc->ProgramLength();
    if (m != stored)
        Error("warning: " + std::to_string(stored - m) +
              " program step(s) name pictures the library does not hold and are not listed; "
              "sending the " +
              std::to_string(m) + " listed steps, as the desktop program does");
    const UploadResult result = SendProgram(doc->Program(), m, port);
    if (!result.ok) {
        Error("sending the program failed: " + WhyExchangeFailed(port));
        return kExitExchange;
    }
    std::printf("sent a program of %d step%s; the controller restarts\n", m, m == 1 ? "" : "s");
    return kExitOk;
}

}  // namespace

const CommandSpec kSendPicturesCommand = {
    "send-pictures",
    "send the library's pictures and names",
    nullptr,
    "Sends every picture of the library file (four blocks each), both name\n"
    "tables and the new picture count, then restarts the controller. A\n"
    "progress bar is drawn on stderr when it is a terminal.\n",
    {},
    /*usesPort=*/true,
    /*usesLibrary=*/true,
    RunSendPictures,
};

const CommandSpec kSendProgramCommand = {
    "send-program",
    "send the library's program",
    nullptr,
    "Sends the program steps the desktop program lists for the library file\n"
    "and their number, then restarts the controller.\n",
    {},
    /*usesPort=*/true,
    /*usesLibrary=*/true,
    RunSendProgram,
};

}  // namespace korvex::cli
