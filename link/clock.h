// The one clock of the link library: CLOCK_MONOTONIC in nanoseconds. Every
// deadline (a read's 1200 ms, a write's bound) is computed from it once and
// the time left recomputed from it on every wait.
#pragma once

#include <cstdint>
#include <ctime>

namespace korvex::link {

inline int64_t NowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace korvex::link
