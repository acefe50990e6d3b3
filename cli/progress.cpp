// The upload progress bar of korvex-cli.
#include "cli/progress.h"

#include <cstdio>
#include <unistd.h>

namespace korvex::cli {

ProgressBar::ProgressBar(const std::string &label, int maximum)
    : label_(label), maximum_(maximum), tty_(::isatty(STDERR_FILENO) == 1)
{
}

ProgressBar::~ProgressBar()
{
    Finish();
}

void ProgressBar::Set(int position)
{
    if (!tty_)
        return;
    constexpr int kWidth = 40;
    const int filled = maximum_ > 0 ? position * kWidth / maximum_ : kWidth;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kWidth, '.');
    std::fprintf(stderr, "\r%s [%s] %d/%d", label_.c_str(), bar.c_str(), position, maximum_);
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::Finish()
{
    if (drawn_) {
        std::fputc('\n', stderr);
        drawn_ = false;
    }
}

}  // namespace korvex::cli
