// The simulator's shell: one thread that polls the pseudo-terminal, feeds
// the frame reader, hands each request to the controller and then to the
// fault switch, queues what goes out and writes it when it is due. It keeps
// the log, payloads and counts that the getters copy out under the lock.
#include "sim/simulator.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include <poll.h>
#include <unistd.h>

#include "sim/controller.h"
#include "sim/faults.h"
#include "sim/frame_log.h"
#include "sim/frame_reader.h"
#include "sim/pty.h"
#include "sim/reply_queue.h"
#include "sim/waiter.h"

namespace korvex::sim {

namespace {

int64_t NowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace

struct Simulator::Impl {
    explicit Impl(Options o)
        : opt(std::move(o)), controller(opt.firmware, opt.signature),
          out(opt.baudPacing, opt.lateReplyMs)
    {
        // Without a readable image the initial memory serves, and is saved over the file.
        controller.LoadImage(opt.memoryFile);
    }

    Options opt;
    mutable std::mutex mu;

    // Guarded by mu.
    Controller controller;
    FaultSwitch faults;
    FrameLog log;
    int64_t lastReplyNs = 0;

    // Owned by the serving thread once it runs.
    Pty pty;
    FrameReader reader;
    ReplyQueue out;
    Waiter waiter;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> unplugRequested{false};

    void Serve();
    void Receive();
    void HandleFrame(const Request &request);
    void CloseSide();
    void StopThread(std::atomic<bool> &flag);
};

void Simulator::Impl::CloseSide()
{
    pty.HangUp();
    out.Clear();
    reader.Clear();
}

void Simulator::Impl::HandleFrame(const Request &request)
{
    const std::vector<uint8_t> &p = request.payload;
    Answer answer;
    WireReply wire;
    int frame = 0;
    {
        std::lock_guard<std::mutex> lock(mu);
        frame = log.Received(p);
        // The log keeps the payload as received; the controller may be
        // handed one that a corrupt fault has spoiled.
        const std::vector<uint8_t> stored = faults.Stored(frame, p);
        answer = controller.Handle(stored.data(), stored.size());
        wire =
            faults.Apply(frame, answer.entry.command, answer.understood, std::move(answer.reply));
        if (wire.fault)
            answer.entry.result = wire.fault;
        log.Add(answer.entry);
    }
    if (opt.logToStderr)
        std::fputs(LogLine(frame, answer.entry, answer.parameters).c_str(), stderr);
    if (wire.unplug)
        CloseSide();
    else
        out.Add(std::move(wire.bytes), FrameSize(p.size()), request.arrivalNs, wire.late, NowNs());
}

// Serves every whole frame that has arrived, until an unplug fault closes the line.
void Simulator::Impl::Receive()
{
    const int64_t now = NowNs();
    Request request;
    while (pty.IsOpen() && reader.Next(now, &request)) {
        if (request.crcOk) {
            HandleFrame(request);
            continue;
        }
        // A frame with a bad CRC gets no reply; it is only logged.
        std::lock_guard<std::mutex> lock(mu);
        log.AddBadCrc(static_cast<char>(request.payload[0]));
        if (opt.logToStderr)
            std::fputs(LogLine(0, log.Entries().back(), "").c_str(), stderr);
    }
    std::lock_guard<std::mutex> lock(mu);
    log.AddSkipped(reader.TakeSkipped());
}

void Simulator::Impl::Serve()
{
    uint8_t buf[4096];
    while (!stopping.load()) {
        if (unplugRequested.load()) {
            CloseSide();
            break;
        }
        const ReplyQueue::Flushed flushed = out.Flush(pty.Master(), NowNs());
        if (flushed.sent) {
            std::lock_guard<std::mutex> lock(mu);
            lastReplyNs = NowNs();
        }
        if (!pty.IsOpen())
            break;

        // Wake for the next reply slice (unless the line is full: then for
        // room on it) or for a partial frame going stale, whichever is first.
        int64_t wakeAt = flushed.blocked ? -1 : out.NextDueNs();
        const int64_t recheck = reader.RecheckAtNs();
        if (recheck >= 0)
            wakeAt = wakeAt < 0 ? recheck : std::min(wakeAt, recheck);
        short revents = 0;
        const int64_t timeout = wakeAt < 0 ? -1 : std::max<int64_t>(0, wakeAt - NowNs());
        const Waiter::End end = waiter.Wait(pty.Master(), flushed.blocked, timeout, &revents);
        if (end == Waiter::End::Failed)
            break;
        if (end == Waiter::End::Called)
            continue;  // stop or unplug: checked at the top
        if (revents & POLLIN) {
            const ssize_t got = read(pty.Master(), buf, sizeof buf);
            if (got > 0)
                reader.Feed(buf, static_cast<size_t>(got), NowNs());
        } else if (revents & (POLLHUP | POLLERR)) {
            // No slave opener at all (cannot happen while the pty holds its
            // slave side open); avoid spinning.
            timespec nap{0, 10000000};
            nanosleep(&nap, nullptr);
        }
        Receive();
    }
}

// Raises `flag` and waits for the serving thread to see it and end.
void Simulator::Impl::StopThread(std::atomic<bool> &flag)
{
    if (!thread.joinable())
        return;
    flag.store(true);
    waiter.Wake();
    thread.join();
}

Simulator::Simulator(Options options) : impl_(new Impl(std::move(options))) {}

Simulator::~Simulator()
{
    Stop();
    delete impl_;
}

bool Simulator::Start()
{
    Impl &s = *impl_;
    if (s.thread.joinable() || s.pty.IsOpen())
        return false;
    if (!s.pty.Open(s.opt.linkPath))
        return false;
    if (!s.waiter.Open()) {
        s.pty.RemoveLink();
        s.CloseSide();
        return false;
    }
    s.stopping.store(false);
    s.unplugRequested.store(false);
    s.thread = std::thread([&s] { s.Serve(); });
    return true;
}

void Simulator::Stop()
{
    Impl &s = *impl_;
    s.StopThread(s.stopping);
    s.CloseSide();
    s.waiter.Close();
    s.pty.RemoveLink();
    std::lock_guard<std::mutex> lock(s.mu);
    s.controller.SaveImage(s.opt.memoryFile);
}

void Simulator::Unplug()
{
    impl_->StopThread(impl_->unplugRequested);
    impl_->CloseSide();
}

const std::string &Simulator::SlavePath() const
{
    return impl_->pty.SlavePath();
}

void Simulator::SetFault(Fault fault, int fromFrame, int count, int corruptByte)
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->faults.Set(fault, fromFrame, count);
    impl_->faults.SetCorruptByte(corruptByte);
}

void Simulator::SetShortLength(int bytes)
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->faults.SetShortLength(bytes);
}

std::vector<uint8_t> Simulator::Block(int page, int block) const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->controller.Block(page, block);
}

std::array<uint8_t, 256> Simulator::ConfigRecord() const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->controller.ConfigRecord();
}

void Simulator::SetConfigRecord(const std::array<uint8_t, 256> &record)
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->controller.SetConfigRecord(record);
}

void Simulator::SetBlock(int page, int block, const std::vector<uint8_t> &data)
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->controller.SetBlock(page, block, data);
}

std::vector<FrameLogEntry> Simulator::Log() const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->log.Entries();
}

std::vector<uint8_t> Simulator::LastPayload(char command) const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->log.LastPayload(command);
}

int Simulator::FrameCount() const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->log.Frames();
}

int Simulator::CountOf(char command) const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->log.CountOf(command);
}

void Simulator::ClearLog()
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->log.Clear();
}

int Simulator::GarbageBytes() const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->log.Skipped();
}

int64_t Simulator::LastReplyNs() const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->lastReplyNs;
}

std::vector<uint8_t> Simulator::Memory() const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->controller.Memory();
}

bool Simulator::SaveMemory() const
{
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->controller.SaveImage(impl_->opt.memoryFile);
}

}  // namespace korvex::sim
