// The simulator's outgoing replies and their pacing; see reply_queue.h.
#include "sim/reply_queue.h"

#include <algorithm>
#include <cerrno>

#include <unistd.h>

namespace korvex::sim {

namespace {

// Paced replies go out in slices of this many bytes.
constexpr size_t kPaceSlice = 32;

}  // namespace

void ReplyQueue::Add(std::vector<uint8_t> reply, size_t requestBytes, int64_t arrivalNs, bool late,
                     int64_t nowNs)
{
    if (reply.empty())
        return;
    const int64_t lateDue = late ? arrivalNs + static_cast<int64_t>(lateReplyMs_) * 1000000 : 0;
    if (baud_ <= 0) {
        out_.push_back({std::max(nowNs, lateDue), std::move(reply)});
    } else {
        // 10 bit times a byte: the request occupies the line from its first
        // byte's arrival, the reply follows it and ends no earlier than
        // (request + reply) line time after the request began.
        const double byteNs = 1e10 / baud_;
        int64_t start = arrivalNs + static_cast<int64_t>(requestBytes * byteNs);
        if (late)
            start = std::max(start, lateDue);
        for (size_t a = 0; a < reply.size(); a += kPaceSlice) {
            const size_t b = std::min(reply.size(), a + kPaceSlice);
            const int64_t due = start + static_cast<int64_t>(b * byteNs);
            out_.push_back({due, std::vector<uint8_t>(reply.begin() + a, reply.begin() + b)});
        }
    }
    std::stable_sort(out_.begin(), out_.end(),
                     [](const Slice &x, const Slice &y) { return x.due < y.due; });
}

ReplyQueue::Flushed ReplyQueue::Flush(int fd, int64_t nowNs)
{
    Flushed f;
    while (!out_.empty() && out_.front().due <= nowNs) {
        Slice &s = out_.front();
        const ssize_t w = write(fd, s.bytes.data(), s.bytes.size());
        if (w < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                f.blocked = true;
                return f;
            }
            out_.clear();  // the line is gone
            return f;
        }
        s.bytes.erase(s.bytes.begin(), s.bytes.begin() + w);
        if (s.bytes.empty()) {
            out_.erase(out_.begin());
            f.sent = true;
        }
    }
    return f;
}

}  // namespace korvex::sim
