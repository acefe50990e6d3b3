#pragma once

#include <cstdlib>
#include <filesystem>
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

// Aims the user's data folder (XDG_DATA_HOME, where the record of uploads
// lives) at a fresh temporary folder, removed when the test program ends,
// so that no test reads or leaves a record in the real one. Programs the
// tests start inherit it.
inline void AimDataFolderAtTemp()
{
    static struct Folder {
        Folder()
        {
            char name[] = "/tmp/korvex-test-data-XXXXXX";
            if (mkdtemp(name))
                path = name;
            setenv("XDG_DATA_HOME", path.empty() ? "/nonexistent/korvex-test-data" : name, 1);
        }
        ~Folder()
        {
            std::error_code ignored;
            if (!path.empty())
                std::filesystem::remove_all(path, ignored);
        }
        std::string path;
    } folder;
}

}  // namespace korvex::test
