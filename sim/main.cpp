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
                 "                  [--baud N] [--memory FILE] [--fault KIND[@K][:B]] [--quiet]\n"
                 "       korvex-sim --version\n"
                 "  KIND: no-reply short not-ok late extra unplug (from frame K on, default 1)\n"
                 "        noisy-read (on frame K alone, default 1)\n"
                 "        corrupt[@K][:B] (on the write in frame K alone, default the first\n"
                 "        write; flips a bit of data byte B, 0..255, default the first byte\n"
                 "        of a block and byte 16 of the settings record)\n");
}

// A whole decimal number within lo..hi.
bool ParseNumber(const std::string &text, long lo, long hi, int *number)
{
    char *end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || !end || *end || v < lo || v > hi)
        return false;
    *number = static_cast<int>(v);
    return true;
}

// KIND[@K][:B]: the fault, its first frame, how many frames it lasts (-1:
// to the end) and the byte a corrupt write spoils (-1: its usual one). A
// corrupt write or a noisy read happens on frame K alone; kept on, it
// would spoil every write or read after it. A corrupt write without K
// waits for the first write (frame 0 to the simulator), since frame 1 is
// usually a read that it would leave alone.
bool ParseFault(const std::string &text, korvex::sim::Fault *fault, int *from, int *count,
                int *byte)
{
    std::string kind = text;
    *byte = -1;
    const size_t colon = kind.find(':');
    if (colon != std::string::npos) {
        if (!ParseNumber(kind.substr(colon + 1), 0, 255, byte))
            return false;
        kind.erase(colon);
    }
    int k = -1;
    const size_t at = kind.find('@');
    if (at != std::string::npos) {
        if (!ParseNumber(kind.substr(at + 1), 1, 1000000000, &k))
            return false;
        kind.erase(at);
    }
    if (!korvex::sim::FaultByName(kind, fault))
        return false;
    const bool corrupt = *fault == korvex::sim::Fault::Corrupt;
    if (colon != std::string::npos && !corrupt)
        return false;
    *from = k > 0 ? k : corrupt ? 0 : 1;
    *count = corrupt || *fault == korvex::sim::Fault::NoisyRead ? 1 : -1;
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
    int faultByte = -1;

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
            if (!ParseFault(value(), &fault, &faultFrom, &faultCount, &faultByte)) {
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
        sim.SetFault(fault, faultFrom, faultCount, faultByte);

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
