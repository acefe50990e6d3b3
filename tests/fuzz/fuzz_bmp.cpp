// libFuzzer target: BMP loading (see image_fuzz.h).
#include "tests/fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size >= 26) {
        auto s32 = [&](size_t at) {
            return int32_t(uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 |
                           uint32_t(data[at + 2]) << 16 | uint32_t(data[at + 3]) << 24);
        };
        const bool os2 = s32(14) == 12;
        const int64_t w = os2 ? (data[18] | data[19] << 8) : s32(18);
        const int64_t h = os2 ? (data[20] | data[21] << 8) : s32(22);
        if (w * (h < 0 ? -h : h) > korvex::fuzz::kFuzzPixels)
            return 0;
    }
    return korvex::fuzz::LoadAndCompare(data, size, ".bmp");
}
