// The upload progress of korvex-cli.
#include "cli/progress.h"

#include <cstdio>

#include "app/platform.h"

namespace korvex::cli {

ProgressBar::ProgressBar(const std::string &label, int maximum)
    : label_(label), estimate_(maximum), tty_(IsTerminal(stderr))
{
    if (!tty_)
        std::fprintf(stderr, "%s: %d blocks\n", label_.c_str(), maximum);
}

ProgressBar::~ProgressBar()
{
    Finish();
}

void ProgressBar::Set(int position)
{
    position_ = position;
    if (!tty_)
        return;
    // Fixed-width fields keep the line at one length within 80 columns:
    // "sending pictures [########........] 121/484  25%   3.7 blocks/s  1:38 left"
    constexpr int kWidth = 16;
    const int maximum = estimate_.Total();
    const int filled = maximum > 0 ? position * kWidth / maximum : kWidth;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kWidth, '.');
    const int left = estimate_.SecondsLeft(position);
    const std::string leftText = left < 0 ? "-:--" : ClockText(left);
    std::fprintf(stderr, "\r%s [%s] %d/%d %3d%% %5.1f blocks/s %5s left", label_.c_str(),
                 bar.c_str(), position, maximum, estimate_.Percent(position),
                 estimate_.Rate(position), leftText.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::Finish()
{
    if (finished_)
        return;
    finished_ = true;
    if (tty_) {
        if (drawn_)
            std::fputc('\n', stderr);
        return;
    }
    const double elapsed = estimate_.ElapsedSeconds();
    std::fprintf(stderr, "%s: %d of %d blocks in %.1f s (%.1f blocks/s)\n", label_.c_str(),
                 position_, estimate_.Total(), elapsed, estimate_.Rate(position_));
}

}  // namespace korvex::cli
