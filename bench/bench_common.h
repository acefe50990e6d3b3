// What the benchmarks share: no real port, wall seconds, and the library of
// 121 random pictures they send and read.
#pragma once

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "model/library.h"
#include "model/library_file.h"

namespace korvex::bench {

constexpr int kPictures = 121;

// Never touch a real port: every port number points nowhere until a
// benchmark aims port 1 at its simulator.
inline void AimPortsNowhere()
{
    for (int n = 1; n <= 8; ++n) {
        const std::string var = "KORVEX_COM" + std::to_string(n);
        setenv(var.c_str(), ("/nonexistent/bench-com" + std::to_string(n)).c_str(), 1);
    }
}

inline double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// 121 pictures of random colours at the controller's levels, named
// "pic1".."pic121", and `steps` program steps.
inline std::unique_ptr<LibraryData> FullLibrary(int steps = 0)
{
    auto d = std::make_unique<LibraryData>();
    d->pictureCount = kPictures;
    d->programLength = steps;
    uint32_t seed = 1;
    for (int i = 0; i < kPictures; ++i) {
        for (int k = 0; k < kColours; ++k) {
            seed = seed * 1664525u + 1013904223u;
            d->pictures[i].colours[k] = (seed >> 4) & 0xF0F0F0;
        }
        StoreName(d->pictures[i], "pic" + std::to_string(i + 1));
    }
    for (int s = 0; s < steps; ++s)
        d->program[s] = {static_cast<uint8_t>(s % kPictures), static_cast<uint8_t>(s % 8),
                         static_cast<uint8_t>(s % 32)};
    return d;
}

}  // namespace korvex::bench
