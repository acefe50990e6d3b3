#include <cstdlib>

#include "link/link.h"

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
    SerialHandle *h = SerialOpen(port, baud);
    if (!h)
        return 0;
    const char *trace = std::getenv("KORVEX_LINK_TRACE");
    g_port.trace = trace && *trace && *trace != '0';
    g_port.handle = h;
    g_port.open = 1;
    return 1;
}

int32_t PortClose()
{
    if (!g_port.open)
        return 0;
    SerialClose(g_port.handle);
    g_port.handle = nullptr;
    g_port.open = 0;
    return 1;
}

}  // namespace korvex::link
