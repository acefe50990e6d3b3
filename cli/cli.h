// What every korvex-cli command shares: its exit statuses and how it
// reports a problem.
#pragma once

#include <string>

namespace korvex::cli {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitExchange = 1;  // the exchange with the controller failed
constexpr int kExitUsage = 2;     // bad usage, or a file that cannot be used
constexpr int kExitDiffers = 3;   // the controller does not hold what it should

// Prints "korvex-cli: <message>" on stderr.
void Error(const std::string &message);

}  // namespace korvex::cli
