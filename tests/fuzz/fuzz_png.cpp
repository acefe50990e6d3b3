// libFuzzer target: PNG loading (see image_fuzz.h).
#include "tests/fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The IHDR chunk comes first: its width and height at bytes 16..23.
    if (size >= 24) {
        auto u32 = [&](size_t at) {
            return int64_t(uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 |
                           uint32_t(data[at + 2]) << 8 | uint32_t(data[at + 3]));
        };
        const int64_t w = u32(16), h = u32(20);
        if (w > korvex::fuzz::kFuzzPixels || h > korvex::fuzz::kFuzzPixels ||
            w * h > korvex::fuzz::kFuzzPixels)
            return 0;
    }
    return korvex::fuzz::LoadAndCompare(data, size, ".png");
}
