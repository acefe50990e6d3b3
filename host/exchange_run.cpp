// The window's side of a long exchange: the bar and the events let through.
#include "host/exchange_run.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProgressBar>

#include "host/FrmMain.h"

namespace korvex {

namespace {

void LetEventsThrough()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

ExchangeRun::ExchangeRun(TFormMain *form, QProgressBar *bar, int total)
    : form_(form), bar_(bar), total_(total), estimate_(total)
{
    form_->uploading = true;
    if (bar_) {
        bar_->setRange(0, total_);
        bar_->setTextVisible(true);
        bar_->show();
        Show(0, total_);
    }
}

ExchangeRun::~ExchangeRun()
{
    form_->uploading = false;
    if (bar_)
        bar_->hide();
}

ProgressFn ExchangeRun::Progress()
{
    return [this](int position) {
        Show(position, total_);
        LetEventsThrough();
    };
}

ReadProgressFn ExchangeRun::ReadProgress()
{
    return [this](int position, int total) {
        Show(position, total);
        LetEventsThrough();
    };
}

void ExchangeRun::SetTotal(int total)
{
    Show(0, total);
}

StopFn ExchangeRun::Pause()
{
    return [] {
        LetEventsThrough();
        return false;
    };
}

// The bar's text: the percentage and, once a block has gone, the time left.
void ExchangeRun::Show(int position, int total)
{
    if (!bar_)
        return;
    if (total != total_) {
        // The time left is estimated from the blocks since the total
        // became known, so the rate of the blocks before does not count.
        total_ = total;
        base_ = position;
        estimate_ = ProgressEstimate(total_ - base_);
        bar_->setRange(0, total_);
    }
    QString text = QStringLiteral("%1%").arg(total_ > 0 ? position * 100 / total_ : 100);
    const int left = estimate_.SecondsLeft(position - base_);
    if (left >= 0)
        text += QStringLiteral("  剩余 %1").arg(QString::fromStdString(ClockText(left)));
    bar_->setFormat(text);
    bar_->setValue(position);
    bar_->repaint();
}

}  // namespace korvex
