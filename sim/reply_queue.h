// The replies waiting to go out, and when each byte is due: at once, not
// before the late-reply delay, or paced as a real line would carry them
// after the request. Writes what is due to the line when asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvex::sim {

class ReplyQueue {
public:
    // `baud` 0: no pacing. `lateReplyMs`: how long after its request's
    // arrival a late reply goes out.
    ReplyQueue(int baud, int lateReplyMs) : baud_(baud), lateReplyMs_(lateReplyMs) {}

    // Queues the reply to a request of `requestBytes` whose first byte
    // arrived at `arrivalNs`. An empty reply queues nothing.
    void Add(std::vector<uint8_t> reply, size_t requestBytes, int64_t arrivalNs, bool late,
             int64_t nowNs);

    struct Flushed {
        bool blocked = false;  // the line takes no more bytes now: wait until it does
        bool sent = false;     // at least one reply slice went out whole
    };
    // Writes to `fd` every slice due by `nowNs`. A line that fails for
    // another reason than a full queue is gone: the queue is emptied.
    Flushed Flush(int fd, int64_t nowNs);

    // When the next slice is due; -1 when nothing is queued.
    int64_t NextDueNs() const { return out_.empty() ? -1 : out_.front().due; }
    void Clear() { out_.clear(); }

private:
    struct Slice {
        int64_t due;
        std::vector<uint8_t> bytes;
    };
    int baud_;
    int lateReplyMs_;
    std::vector<Slice> out_;  // sorted by due time
};

}  // namespace korvex::sim
