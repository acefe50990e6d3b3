// GBK <-> UTF-8 through iconv. Names live as GBK bytes in picture records
// and in the library file; the window and korvex-cli show UTF-8.
#include "app/gbk_text.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <string>

namespace korvex {

namespace {

bool IsGbkLead(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}

bool IsGbkTrail(unsigned char c)
{
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

// One conversion direction. Undecodable input is skipped one byte (or one
// character) at a time and replaced by `replacement`.
std::string Convert(const char *to, const char *from, const std::string &in,
                    const std::string &replacement, bool utf8Input)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return in;
    std::string out;
    out.reserve(in.size() * 2);
    char *src = const_cast<char *>(in.data());
    size_t srcLeft = in.size();
    char buf[256];
    while (srcLeft > 0) {
        char *dst = buf;
        size_t dstLeft = sizeof buf;
        const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf, static_cast<size_t>(dst - buf));
        if (r != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL (a cut-off sequence at the end): replace and
        // skip the offending unit.
        out += replacement;
        size_t skip = 1;
        if (utf8Input) {
            // Skip the whole UTF-8 character the target cannot hold.
            const unsigned char lead = static_cast<unsigned char>(*src);
            if (lead >= 0xF0)
                skip = 4;
            else if (lead >= 0xE0)
                skip = 3;
            else if (lead >= 0xC0)
                skip = 2;
            skip = std::min(skip, srcLeft);
            // Only skip continuation bytes that are really there.
            for (size_t i = 1; i < skip; ++i) {
                if ((static_cast<unsigned char>(src[i]) & 0xC0) != 0x80) {
                    skip = i;
                    break;
                }
            }
        } else if (srcLeft >= 2 && IsGbkLead(static_cast<unsigned char>(src[0])) &&
                   IsGbkTrail(static_cast<unsigned char>(src[1]))) {
            // A GBK lead byte with a trail byte that does not map: drop both.
            skip = 2;
        }
        src += skip;
        srcLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    char *dst = buf;
    size_t dstLeft = sizeof buf;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buf, static_cast<size_t>(dst - buf));
    iconv_close(cd);
    return out;
}

}  // namespace

std::string GbkToUtf8(const std::string &gbk)
{
    return Convert("UTF-8", "GBK", gbk, "\xEF\xBF\xBD", false);
}

std::string Utf8ToGbk(const std::string &utf8)
{
    return Convert("GBK", "UTF-8", utf8, "?", true);
}

}  // namespace korvex
