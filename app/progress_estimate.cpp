// Rate and time left of an upload.
#include "app/progress_estimate.h"

#include <cmath>
#include <cstdio>

namespace korvex {

ProgressEstimate::ProgressEstimate(int total)
    : start_(std::chrono::steady_clock::now()), total_(total)
{
}

double ProgressEstimate::ElapsedSeconds() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

double ProgressEstimate::Rate(int position) const
{
    const double elapsed = ElapsedSeconds();
    return position > 0 && elapsed > 0 ? position / elapsed : 0.0;
}

int ProgressEstimate::SecondsLeft(int position) const
{
    const double rate = Rate(position);
    if (rate <= 0)
        return -1;
    return static_cast<int>(std::ceil((total_ - position) / rate));
}

int ProgressEstimate::Percent(int position) const
{
    return total_ > 0 ? position * 100 / total_ : 100;
}

std::string ClockText(int seconds)
{
    if (seconds < 0)
        seconds = 0;
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    else
        std::snprintf(text, sizeof text, "%d:%02d", seconds / 60, seconds % 60);
    return text;
}

}  // namespace korvex
