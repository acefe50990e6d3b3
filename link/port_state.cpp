#include "link/link.h"
#include "link/trace.h"

namespace korvex::link {

namespace {
PortState g_port;  // constant-initialised: no code runs at load
}

PortState &Port()
{
    return g_port;
}

int32_t PortOpen(int32_t port, int32_t baud)
{
    if (g_port.open)
        return 0;  // the open port stays as it is
    FILE *trace = TraceStart();
    SerialHandle *h = SerialOpen(port, baud);
    if (trace)
        TracePortOpen(trace, port, SerialOpenOutcome());
    if (!h) {
        TraceEnd(trace);
        return 0;
    }
    g_port.trace = trace;
    g_port.handle = h;
    g_port.open = 1;
    return 1;
}

int32_t PortClose()
{
    if (!g_port.open)
        return 0;
    SerialClose(g_port.handle);
    TraceEnd(g_port.trace);
    g_port.trace = nullptr;
    g_port.handle = nullptr;
    g_port.open = 0;
    return 1;
}

}  // namespace korvex::link
