// Turning SIGINT and SIGTERM into a stop request.
#include "cli/stop_signals.h"

#include <csignal>

namespace korvex::cli {

namespace {

volatile std::sig_atomic_t g_signal = 0;
struct sigaction g_previousInt, g_previousTerm;

void Remember(int signal)
{
    if (g_signal == 0)
        g_signal = signal;
}

}  // namespace

StopSignals::StopSignals()
{
    g_signal = 0;
    struct sigaction action {};
    action.sa_handler = Remember;
    sigemptyset(&action.sa_mask);
    // The exchange in flight carries on: interrupted reads and writes of
    // the port are restarted rather than failed.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &g_previousInt);
    sigaction(SIGTERM, &action, &g_previousTerm);
}

StopSignals::~StopSignals()
{
    sigaction(SIGINT, &g_previousInt, nullptr);
    sigaction(SIGTERM, &g_previousTerm, nullptr);
}

bool StopSignals::Requested() const
{
    return g_signal != 0;
}

int StopSignals::ExitStatus() const
{
    return 128 + static_cast<int>(g_signal);
}

}  // namespace korvex::cli
