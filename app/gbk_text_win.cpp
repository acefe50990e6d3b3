// GBK <-> UTF-8 through Windows' code page 936. Names live as GBK bytes in
// picture records and in the library file; the window and korvex-cli show
// UTF-8. Converted one character at a time, so that what does not convert
// is replaced on its own, as the Linux side does: no best-fit look-alikes,
// and a character that code page 936 cannot hold becomes '?'.
#include "app/gbk_text.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace korvex {

namespace {

constexpr UINT kGbk = 936;

bool IsGbkLead(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}

bool IsGbkTrail(unsigned char c)
{
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

// `n` bytes of code page `page` as UTF-16; empty when they do not convert.
std::wstring Wide(UINT page, const char *bytes, int n)
{
    wchar_t out[4];
    const int got = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes, n, out, 4);
    return std::wstring(out, static_cast<size_t>(got > 0 ? got : 0));
}

std::string ToUtf8(const std::wstring &text)
{
    char out[8];
    const int got = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out,
                                        sizeof out, nullptr, nullptr);
    return std::string(out, static_cast<size_t>(got > 0 ? got : 0));
}

}  // namespace

std::string GbkToUtf8(const std::string &gbk)
{
    std::string out;
    size_t i = 0;
    while (i < gbk.size()) {
        const unsigned char c = static_cast<unsigned char>(gbk[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        // A lead byte with its trail byte is one character, mapped or not;
        // of the other bytes at or above 0x80 only 0x80 (the euro sign) is
        // one on its own.
        const bool pair = IsGbkLead(c) && i + 1 < gbk.size() &&
                          IsGbkTrail(static_cast<unsigned char>(gbk[i + 1]));
        const std::wstring ch = pair        ? Wide(kGbk, &gbk[i], 2)
                                : c == 0x80 ? Wide(kGbk, &gbk[i], 1)
                                            : std::wstring();
        out += ch.empty() ? std::string("\xEF\xBF\xBD") : ToUtf8(ch);
        i += pair ? 2 : 1;
    }
    return out;
}

std::string Utf8ToGbk(const std::string &utf8)
{
    std::string out;
    size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        len = std::min(len, utf8.size() - i);
        // Only continuation bytes that are really there belong to it.
        for (size_t k = 1; k < len; ++k) {
            if ((static_cast<unsigned char>(utf8[i + k]) & 0xC0) != 0x80) {
                len = k;
                break;
            }
        }
        const std::wstring ch = Wide(CP_UTF8, &utf8[i], static_cast<int>(len));
        char bytes[8];
        BOOL usedDefault = FALSE;
        const int got = ch.empty() ? 0
                                   : WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, ch.data(),
                                                         static_cast<int>(ch.size()), bytes,
                                                         sizeof bytes, nullptr, &usedDefault);
        if (got <= 0 || usedDefault)
            out += '?';
        else
            out.append(bytes, static_cast<size_t>(got));
        i += len;
    }
    return out;
}

}  // namespace korvex
