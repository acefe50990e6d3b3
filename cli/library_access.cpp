// Finding and loading the library file for korvex-cli.
#include "cli/library_access.h"

#include <climits>
#include <unistd.h>

#include "cli/cli.h"

namespace korvex::cli {

std::string LibraryPath(const ParsedArgs &args)
{
    if (args.Has("library"))
        return args.Get("library");
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "korvex.Dat";
    std::string exe(buf, static_cast<size_t>(n));
    const size_t slash = exe.rfind('/');
    return (slash == std::string::npos ? std::string(".") : exe.substr(0, slash)) + "/korvex.Dat";
}

bool LoadLibrary(const std::string &path, LibraryData &data)
{
    std::string error;
    if (!LoadLibraryFile(path, data, error)) {
        Error("cannot read the library file " + path + ": " + error);
        return false;
    }
    if (data.countsClamped)
        Error("warning: " + path +
              " gives more pictures or program steps than a library "
              "holds; only the first 121 pictures and 512 steps are used");
    return true;
}

}  // namespace korvex::cli
