// korvex-sim: a controller card on a pseudo-terminal, for trying the host
// without hardware. Prints the slave path as its first line, then serves
// until SIGINT or SIGTERM.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <pthread.h>

#include "sim/faults.h"
#include "sim/simulator.h"

namespace {

void Usage()
{
    std::fprintf(stderr,
                 "usage: korvex-sim [--link PATH] [--firmware 1.0|1.1] [--no-signature]\n"
                 "                  [--baud N] [--memory FILE] [--fault KIND[@K]] [--quiet]\n"
                 "       korvex-sim --version\n"
                 "  KIND: no-reply short not-ok late extra unplug (from frame K on, default 1)\n"
                 "        corrupt noisy-read (on frame K alone, default 1)\n");
}

// KIND[@K]: the fault and its first frame, and how many frames it lasts
// (-1: to the end). A corrupt write or a noisy read happens on frame K
// alone; kept on, it would spoil every write or read after it.
bool ParseFault(const std::string &text, korvex::sim::Fault *fault, int *from, int *count)
{
    std::string kind = text;
    *from = 1;
    const size_t at = text.find('@');
    if (at != std::string::npos) {
        kind = text.substr(0, at);
        char *end = nullptr;
        const long k = std::strtol(text.c_str() + at + 1, &end, 10);
        if (!end || *end || k < 1 || k > 1000000000)
            return false;
        *from = static_cast<int>(k);
    }
    if (!korvex::sim::FaultByName(kind, fault))
        return false;
    const bool once =
        *fault == korvex::sim::Fault::Corrupt || *fault == korvex::sim::Fault::NoisyRead;
    *count = once ? 1 : -1;
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    korvex::sim::Options opt;
    opt.logToStderr = true;
    korvex::sim::Fault fault = korvex::sim::Fault::None;
    int faultFrom = 1;
    int faultCount = -1;

    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char * {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "korvex-sim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--link") {
            opt.linkPath = value();
        } else if (a == "--firmware") {
            opt.firmware = value();
            if (opt.firmware != "1.0" && opt.firmware != "1.1") {
                Usage();
                return 2;
            }
        } else if (a == "--no-signature") {
            opt.signature = false;
        } else if (a == "--baud") {
            char *end = nullptr;
            const long b = std::strtol(value(), &end, 10);
            if (!end || *end || b < 0 || b > 4000000) {
                Usage();
                return 2;
            }
            opt.baudPacing = static_cast<int>(b);
        } else if (a == "--memory") {
            opt.memoryFile = value();
        } else if (a == "--fault") {
            if (!ParseFault(value(), &fault, &faultFrom, &faultCount)) {
                Usage();
                return 2;
            }
        } else if (a == "--quiet") {
            opt.logToStderr = false;
        } else if (a == "--version") {
            std::printf("korvex-sim %s\n", KORVEX_VERSION);
            return 0;
        } else if (a == "--help" || a == "-h") {
            Usage();
            return 0;
        } else {
            Usage();
            return 2;
        }
    }

    // Block the stop signals in every thread; the main thread takes them
    // with sigwait, so the serving thread is never interrupted.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    korvex::sim::Simulator sim(opt);
    if (!sim.Start()) {
        const char *cause = std::strerror(errno);
        if (opt.linkPath.empty())
            std::fprintf(stderr, "korvex-sim: cannot open a pseudo-terminal: %s\n", cause);
        else
            std::fprintf(stderr,
                         "korvex-sim: cannot open a pseudo-terminal or make the link %s: %s\n",
                         opt.linkPath.c_str(), cause);
        return 1;
    }
    if (fault != korvex::sim::Fault::None)
        sim.SetFault(fault, faultFrom, faultCount);

    std::printf("%s\n", sim.SlavePath().c_str());
    std::fflush(stdout);

    int sig = 0;
    sigwait(&stopSignals, &sig);
    sim.Stop();
    if (!opt.memoryFile.empty()) {
        // Stop has saved it; saving once more tells whether that worked.
        if (!sim.SaveMemory()) {
            std::fprintf(stderr, "korvex-sim: cannot save memory to %s\n", opt.memoryFile.c_str());
            return 1;
        }
        if (opt.logToStderr)
            std::fprintf(stderr, "korvex-sim: memory saved to %s\n", opt.memoryFile.c_str());
    }
    return 0;
}
