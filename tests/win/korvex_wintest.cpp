// korvex_wintest: drives korvex_api the way an outside host does, by loading
// the library at run time and binding its nine exports by name.
//
//   korvex_wintest LIBRARY STEP...
//   korvex_wintest LIBRARY --exports      (bind the nine names and stop)
//
// Each step is NAME or NAME:ARG,ARG,... and prints one line
//   step <n> <step> result=<r> ms=<elapsed>[ dest=untouched|<hex>]
// Steps:
//   init:PORT,BAUD        ComInitial
//   close                 ComClose
//   read:PAGE,BLOCK       Read1KData into a buffer filled with 0xA5 first
//   readnull:PAGE,BLOCK   Read1KData with a null destination
//   write:PAGE,BLOCK,PAT  Write1KData with 1024 bytes of PAT
//   writeex:PAGE,BLOCK,PAT  Write1KData_Ex
//   special:PAT           WriteSpecial with 256 bytes of PAT
//   notsave:A,B,C         WriteNotSave with the three bytes
//   settime               SetTime
//   reset                 ResetCard
//   sleep:MS              waits
// PAT is ramp (byte i = i mod 256), down (255 - i mod 256) or a two-digit
// hex byte repeated.
//
// Builds for Windows (LoadLibrary/GetProcAddress) and for Linux (dlopen/
// dlsym) from this one file, so the same steps run against both libraries.
#include "link/korvex_api.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

struct Api {
    decltype(&ComInitial) comInitial = nullptr;
    decltype(&ComClose) comClose = nullptr;
    decltype(&Read1KData) read1K = nullptr;
    decltype(&Write1KData) write1K = nullptr;
    decltype(&Write1KData_Ex) write1KEx = nullptr;
    decltype(&WriteSpecial) writeSpecial = nullptr;
    decltype(&WriteNotSave) writeNotSave = nullptr;
    decltype(&SetTime) setTime = nullptr;
    decltype(&ResetCard) resetCard = nullptr;
};

#if defined(_WIN32)
using Library = HMODULE;
Library OpenLibrary(const char *path)
{
    return LoadLibraryA(path);
}
void *Symbol(Library lib, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(lib, name));
}
#else
using Library = void *;
Library OpenLibrary(const char *path)
{
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}
void *Symbol(Library lib, const char *name)
{
    return dlsym(lib, name);
}
#endif

template <typename Fn>
bool Bind(Library lib, const char *name, Fn &fn)
{
    fn = reinterpret_cast<Fn>(Symbol(lib, name));
    std::printf("bind %s %s\n", name, fn ? "ok" : "MISSING");
    return fn != nullptr;
}

bool BindAll(Library lib, Api &api)
{
    bool ok = true;
    ok &= Bind(lib, "ComInitial", api.comInitial);
    ok &= Bind(lib, "ComClose", api.comClose);
    ok &= Bind(lib, "Read1KData", api.read1K);
    ok &= Bind(lib, "Write1KData", api.write1K);
    ok &= Bind(lib, "Write1KData_Ex", api.write1KEx);
    ok &= Bind(lib, "WriteSpecial", api.writeSpecial);
    ok &= Bind(lib, "WriteNotSave", api.writeNotSave);
    ok &= Bind(lib, "SetTime", api.setTime);
    ok &= Bind(lib, "ResetCard", api.resetCard);
    return ok;
}

std::vector<std::string> Split(const std::string &s, char sep)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (true) {
        const size_t at = s.find(sep, start);
        out.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return out;
        start = at + 1;
    }
}

bool Pattern(const std::string &name, size_t n, std::vector<uint8_t> &out)
{
    out.resize(n);
    for (size_t i = 0; i < n; ++i) {
        if (name == "ramp")
            out[i] = static_cast<uint8_t>(i & 0xFF);
        else if (name == "down")
            out[i] = static_cast<uint8_t>(0xFF - (i & 0xFF));
        else if (name.size() == 2)
            out[i] = static_cast<uint8_t>(std::strtoul(name.c_str(), nullptr, 16));
        else
            return false;
    }
    return true;
}

std::string Hex(const uint8_t *p, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        s.push_back(digits[p[i] >> 4]);
        s.push_back(digits[p[i] & 0x0F]);
    }
    return s;
}

int Arg(const std::vector<std::string> &args, size_t i)
{
    return i < args.size() ? std::atoi(args[i].c_str()) : 0;
}

// Runs one step; false when the step itself is malformed.
bool RunStep(const Api &api, int index, const std::string &step)
{
    const size_t colon = step.find(':');
    const std::string name = step.substr(0, colon);
    const std::vector<std::string> args = colon == std::string::npos
                                              ? std::vector<std::string>{}
                                              : Split(step.substr(colon + 1), ',');

    std::vector<uint8_t> data;
    uint8_t dest[1024];
    std::memset(dest, 0xA5, sizeof(dest));
    bool showDest = false;
    int32_t result = -1;

    const auto start = std::chrono::steady_clock::now();
    if (name == "init") {
        result = api.comInitial(Arg(args, 0), Arg(args, 1));
    } else if (name == "close") {
        result = api.comClose();
    } else if (name == "read") {
        result = api.read1K(Arg(args, 0), Arg(args, 1), dest);
        showDest = true;
    } else if (name == "readnull") {
        result = api.read1K(Arg(args, 0), Arg(args, 1), nullptr);
    } else if (name == "write" || name == "writeex") {
        if (args.size() != 3 || !Pattern(args[2], 1024, data))
            return false;
        result = (name == "write" ? api.write1K : api.write1KEx)(Arg(args, 0), Arg(args, 1),
                                                                 data.data());
    } else if (name == "special") {
        if (args.size() != 1 || !Pattern(args[0], 256, data))
            return false;
        result = api.writeSpecial(data.data());
    } else if (name == "notsave") {
        if (args.size() != 3)
            return false;
        const uint8_t settings[3] = {static_cast<uint8_t>(Arg(args, 0)),
                                     static_cast<uint8_t>(Arg(args, 1)),
                                     static_cast<uint8_t>(Arg(args, 2))};
        result = api.writeNotSave(settings);
    } else if (name == "settime") {
        result = api.setTime();
    } else if (name == "reset") {
        result = api.resetCard();
    } else if (name == "sleep") {
        std::this_thread::sleep_for(std::chrono::milliseconds(Arg(args, 0)));
        result = 1;
    } else {
        return false;
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    std::printf("step %d %s result=%d ms=%.1f", index, step.c_str(), static_cast<int>(result), ms);
    if (showDest) {
        bool untouched = true;
        for (uint8_t b : dest)
            untouched = untouched && b == 0xA5;
        std::printf(" dest=%s", untouched ? "untouched" : Hex(dest, sizeof(dest)).c_str());
    }
    std::printf("\n");
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s LIBRARY STEP... | LIBRARY --exports\n", argv[0]);
        return 2;
    }
    Library lib = OpenLibrary(argv[1]);
    if (!lib) {
        std::printf("load %s FAILED\n", argv[1]);
        return 2;
    }
    Api api;
    if (!BindAll(lib, api))
        return 2;
    if (std::strcmp(argv[2], "--exports") == 0)
        return 0;
    for (int i = 2; i < argc; ++i) {
        if (!RunStep(api, i - 1, argv[i])) {
            std::printf("step %d %s MALFORMED\n", i - 1, argv[i]);
            return 2;
        }
    }
    return 0;
}
