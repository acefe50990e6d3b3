#pragma once

#include <cstdlib>
#include <string>

namespace korvex::test {

// Aims KORVEX_COM1..8 at paths that do not exist. A test that needs a port
// sets that one variable to the simulator's pty itself.
inline void AimPortsNowhere()
{
    for (int n = 1; n <= 8; ++n) {
        const std::string var = "KORVEX_COM" + std::to_string(n);
        const std::string path = "/nonexistent/korvex-test-com" + std::to_string(n);
        setenv(var.c_str(), path.c_str(), 1);
    }
}

}  // namespace korvex::test
