// The upload progress on stderr. On a terminal, a bar redrawn after every
// block with the blocks, the percentage, the rate and the time left; off a
// terminal (a log, a pipe), one line when the upload starts and one when
// it ends.
#pragma once

#include <string>

#include "app/progress_estimate.h"

namespace korvex::cli {

class ProgressBar {
public:
    ProgressBar(const std::string &label, int maximum);
    ~ProgressBar();
    void Set(int position);
    // Ends the bar's line, or writes the closing line off a terminal.
    void Finish();

private:
    std::string label_;
    ProgressEstimate estimate_;
    bool tty_;
    int position_ = 0;
    bool drawn_ = false;
    bool finished_ = false;
};

}  // namespace korvex::cli
