// A progress bar on stderr, drawn only when stderr is a terminal.
#pragma once

#include <string>

namespace korvex::cli {

class ProgressBar {
public:
    ProgressBar(const std::string &label, int maximum);
    ~ProgressBar();
    void Set(int position);
    void Finish();

private:
    std::string label_;
    int maximum_;
    bool tty_;
    bool drawn_ = false;
};

}  // namespace korvex::cli
