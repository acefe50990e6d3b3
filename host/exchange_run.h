// A long exchange with the controller (an upload, a read-back) run on the
// window's own thread. While it runs the window refuses to close, the
// progress bar (when the exchange has one) follows the blocks, and pending
// non-input events are let through between commands, so the desktop does
// not take the window for hung while user input stays blocked. Every upload
// and read of the main window goes through RunExchange, so they all behave
// alike.
#pragma once

#include <utility>

#include "app/controller_read.h"
#include "app/exchange_control.h"
#include "app/progress_estimate.h"

class QProgressBar;

namespace korvex {

class TFormMain;

class ExchangeRun {
public:
    // Sets the window's `uploading` flag (close requests are ignored) for
    // the object's lifetime. With a `bar`, shows it at 0 of `total` blocks.
    ExchangeRun(TFormMain *form, QProgressBar *bar, int total);
    ~ExchangeRun();  // hides the bar, clears the flag
    ExchangeRun(const ExchangeRun &) = delete;
    ExchangeRun &operator=(const ExchangeRun &) = delete;

    // After every block, of the total given at the start: the bar moves,
    // then pending events are let through.
    ProgressFn Progress();
    // The same for a read, whose total is known only once the record has
    // been read.
    ReadProgressFn ReadProgress();
    // A total known only once the exchange has begun (a changed upload's
    // plan): the bar starts again at 0 of `total`.
    void SetTotal(int total);
    // Asked before every command: lets pending events through and never
    // asks the exchange to stop (the window has no way to stop one).
    StopFn Pause();

private:
    void Show(int position, int total);

    TFormMain *form_;
    QProgressBar *bar_;
    int total_;
    int base_ = 0;               // blocks done when the total became known
    ProgressEstimate estimate_;  // of the blocks from base_ on
};

// Runs `exchange(ExchangeRun &)` and returns its result after the bar is
// hidden and the window may close again, ready for the result's box.
template <class Exchange>
auto RunExchange(TFormMain *form, QProgressBar *bar, int total, Exchange &&exchange)
{
    ExchangeRun run(form, bar, total);
    return std::forward<Exchange>(exchange)(run);
}

}  // namespace korvex
