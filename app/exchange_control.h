// What a front end hands to a long exchange with the controller (an
// upload, a read-back): a progress report and a stop request.
#pragma once

#include <functional>

namespace korvex {

// Called after every block written (the failed one included) with the
// number of blocks written so far (the bar's position).
using ProgressFn = std::function<void(int position)>;
// Asked before every command; true ends the exchange there, after the
// command in flight, with the port closed as usual and no restart.
using StopFn = std::function<bool()>;

}  // namespace korvex
