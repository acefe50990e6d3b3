// Turning Ctrl-C, Ctrl-Break and the console's closing into a stop request
// on Windows, with the exit statuses a shell gives the Linux signals: 130
// for Ctrl-C, 143 for the others (a request to end).
#include "cli/stop_signals.h"

#include <windows.h>

#include <atomic>

namespace korvex::cli {

namespace {

std::atomic<int> g_status{0};

BOOL WINAPI Remember(DWORD event)
{
    int expected = 0;
    g_status.compare_exchange_strong(expected, event == CTRL_C_EVENT ? 130 : 143);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Windows ends the process once this handler returns: the upload
        // gets what time the system allows (about five seconds) to stop
        // after the block in flight.
        Sleep(5000);
    }
    return TRUE;
}

}  // namespace

StopSignals::StopSignals()
{
    g_status = 0;
    SetConsoleCtrlHandler(Remember, TRUE);
}

StopSignals::~StopSignals()
{
    SetConsoleCtrlHandler(Remember, FALSE);
}

bool StopSignals::Requested() const
{
    return g_status != 0;
}

int StopSignals::ExitStatus() const
{
    return g_status;
}

}  // namespace korvex::cli
