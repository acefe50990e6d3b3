// libFuzzer target: JPEG loading (see image_fuzz.h).
#include "tests/fuzz/image_fuzz.h"

namespace {

// The frame size of the first SOF marker before the first scan, 0 when
// there is none.
int64_t DeclaredPixels(const uint8_t *d, size_t n)
{
    for (size_t i = 2; i + 9 < n; ++i) {
        if (d[i] != 0xFF)
            continue;
        const uint8_t m = d[i + 1];
        if (m == 0xDA)
            return 0;
        if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC)
            return int64_t(d[i + 5] << 8 | d[i + 6]) * int64_t(d[i + 7] << 8 | d[i + 8]);
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (DeclaredPixels(data, size) > korvex::fuzz::kFuzzPixels)
        return 0;
    return korvex::fuzz::LoadAndCompare(data, size, ".jpg");
}
