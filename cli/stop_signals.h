// Ctrl-C (SIGINT) and SIGTERM during an upload: while a StopSignals object
// lives, neither ends the process. The first one is remembered so that the
// upload can stop after the block in flight and say what the controller
// holds; any later one is ignored while that happens.
#pragma once

namespace korvex::cli {

class StopSignals {
public:
    StopSignals();   // catches SIGINT and SIGTERM
    ~StopSignals();  // puts back what was there before
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // Whether one of them has arrived.
    bool Requested() const;
    // The shell's exit status for it: 130 for SIGINT, 143 for SIGTERM.
    int ExitStatus() const;
};

}  // namespace korvex::cli
