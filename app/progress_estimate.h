// How an upload is getting on: its rate and the time left, estimated from
// the blocks written so far. Both the window's bar and korvex-cli's show it.
#pragma once

#include <chrono>
#include <string>

namespace korvex {

class ProgressEstimate {
public:
    // Starts the clock for an upload of `total` blocks.
    explicit ProgressEstimate(int total);

    int Total() const { return total_; }
    double ElapsedSeconds() const;
    // Blocks per second so far, 0 before the first block.
    double Rate(int position) const;
    // Whole seconds left at the rate so far (rounded up), -1 before the
    // first block.
    int SecondsLeft(int position) const;
    // Whole percent done (100 for an upload of no blocks).
    int Percent(int position) const;

private:
    std::chrono::steady_clock::time_point start_;
    int total_;
};

// "0:07", "2:05", "1:02:03".
std::string ClockText(int seconds);

}  // namespace korvex
