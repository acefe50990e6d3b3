#include <cstring>

#include "link/frame.h"
#include "link/link.h"
#include "link/trace.h"

namespace korvex::link {

int32_t ExchangeFrame(int32_t n, const uint8_t *payload, uint8_t *dest)
{
    PortState &port = Port();
    if (!port.open)
        return 0;
    if (!payload || n < 1 || static_cast<size_t>(n) > kMaxPayload)
        return 0;

    // Fixed buffers only: the frame and the largest reply.
    uint8_t frame[kMaxFrame];
    uint8_t reply[kBlockReply];
    const size_t frameSize = BuildFrame(payload, static_cast<size_t>(n), frame);
    const uint8_t command = payload[0];
    const size_t expected = ReplyLength(command);

    bool done = false;
    for (int attempt = 1; attempt <= kAttempts && !done; ++attempt) {
        SerialPurgeTx(port.handle);
        SerialPurgeRx(port.handle);
        // A write or drain that does not finish within its bound counts as
        // a missing reply: nothing is read and the frame goes out again.
        const bool sent = SerialWriteAll(port.handle, frame, frameSize);
        if (expected == 0) {  // 'G': no reply is awaited
            if (port.trace)
                TraceAttempt(port.trace, attempt, command, frameSize, sent, 0, 0, reply);
            done = true;
            break;
        }
        const size_t got = sent ? SerialRead(port.handle, reply, expected) : 0;
        if (port.trace)
            TraceAttempt(port.trace, attempt, command, frameSize, sent, expected, got, reply);
        switch (JudgeReply(command, reply, got)) {
        case ReplyVerdict::Accepted: done = true; break;
        case ReplyVerdict::Refused: return 0;
        case ReplyVerdict::Incomplete: break;
        }
    }
    if (done && dest && expected == kBlockReply)
        std::memcpy(dest, reply, kBlockReply);
    return done ? 1 : 0;
}

}  // namespace korvex::link
