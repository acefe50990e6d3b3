// Port number to device path.
#include "link/port_names.h"

#include <cstdio>
#include <cstdlib>

namespace korvex::link {

void PortDevicePath(int32_t port, char *out, size_t size)
{
    char var[32];
    std::snprintf(var, sizeof var, "KORVEX_COM%d", static_cast<int>(port));
    if (const char *env = std::getenv(var))
        std::snprintf(out, size, "%s", env);
    else
        std::snprintf(out, size, "/dev/ttyS%d", static_cast<int>(port) - 1);
}

}  // namespace korvex::link
