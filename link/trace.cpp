// The trace target and its line formats.
#include "link/trace.h"

#include <cstdlib>
#include <cstring>

#include "link/frame.h"

namespace korvex::link {

FILE *TraceStart()
{
    const char *value = std::getenv("KORVEX_LINK_TRACE");
    if (!value || !*value || std::strcmp(value, "0") == 0)
        return nullptr;
    if (std::strcmp(value, "1") == 0)
        return stderr;
#ifdef _WIN32
    return std::fopen(value, "w");
#else
    return std::fopen(value, "we");  // not handed on to child processes
#endif
}

void TraceEnd(FILE *trace)
{
    if (trace && trace != stderr)
        std::fclose(trace);
}

void TracePortOpen(FILE *trace, int32_t port, const char *outcome)
{
    std::fprintf(trace, "korvex_api: port %d open: %s\n", static_cast<int>(port), outcome);
    std::fflush(trace);
}

void TraceAttempt(FILE *trace, int attempt, uint8_t command, size_t frameSize, bool sent,
                  size_t expected, size_t got, const uint8_t *reply)
{
    std::fprintf(trace, "korvex_api: '%c' attempt %d, %zu bytes %s", command, attempt, frameSize,
                 sent ? "sent" : "NOT sent in time");
    if (expected)
        std::fprintf(trace, ", reply %zu/%zu", got, expected);
    if (expected == kStatusReply && got == kStatusReply)
        std::fprintf(trace, " %02X %02X", reply[0], reply[1]);
    std::fputc('\n', trace);
    std::fflush(trace);  // readable at once, also when the process ends early
}

}  // namespace korvex::link
