// The GBK size of UTF-8 text, the same on every system: it counts what the
// platform's conversion (gbk_text.cpp, gbk_text_win.cpp) gives.
#include <algorithm>
#include <string>

#include "app/gbk_text.h"

namespace korvex {

int GbkLength(const std::string &utf8)
{
    return static_cast<int>(Utf8ToGbk(utf8).size());
}

std::string TruncateToGbkBytes(const std::string &utf8, int maxBytes)
{
    std::string out;
    int used = 0;
    size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        size_t len = 1;
        if (lead >= 0xF0)
            len = 4;
        else if (lead >= 0xE0)
            len = 3;
        else if (lead >= 0xC0)
            len = 2;
        len = std::min(len, utf8.size() - i);
        const std::string ch = utf8.substr(i, len);
        const int bytes = GbkLength(ch);
        if (used + bytes > maxBytes)
            break;
        out += ch;
        used += bytes;
        i += len;
    }
    return out;
}

}  // namespace korvex
