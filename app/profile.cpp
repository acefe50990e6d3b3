// Windows profile file reader (see profile.h for the rules it follows).
#include "app/profile.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <unistd.h>

#include "app/gbk_text.h"
#include "model/regular_file.h"

namespace korvex {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Trim(const std::string &s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// Names are compared like Windows does for ASCII letters; other bytes
// (Chinese names) must match exactly.
bool SameName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool IsValidUtf8(const std::string &s)
{
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > s.size())
            return false;
        for (size_t k = 1; k < len; ++k) {
            const unsigned char t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += len;
    }
    return true;
}

// The file's first bytes, up to the limit and cut after its last line
// break within it when the file is longer; false when it cannot be read.
bool ReadHead(const std::string &path, std::string &bytes)
{
    bool notRegular = false;
    const int fd = OpenRegularFile(path, notRegular);
    if (fd < 0)
        return false;
    bytes.assign(kProfileReadLimit + 1, '\0');  // one more tells a longer file
    size_t got = 0;
    bool ok = true;
    while (got < bytes.size()) {
        const ssize_t r = ::read(fd, &bytes[got], bytes.size() - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            ok = r == 0;
            break;
        }
        got += static_cast<size_t>(r);
    }
    ::close(fd);
    if (got > kProfileReadLimit) {
        const size_t lastBreak = bytes.find_last_of("\r\n", kProfileReadLimit - 1);
        got = lastBreak == std::string::npos ? 0 : lastBreak + 1;
    }
    bytes.resize(got);
    return ok;
}

// A file's bytes as UTF-8.
std::string AsUtf8(std::string text)
{
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    else if (!IsValidUtf8(text))
        text = GbkToUtf8(text);
    return text;
}

// Finds `key` in `section`; the first section of that name and the first
// key of that name in it count, as on Windows.
bool Lookup(const std::string &text, const std::string &section, const std::string &key,
            std::string &value)
{
    const std::string wantSection = Trim(section);
    const std::string wantKey = Trim(key);
    bool inSection = false;
    bool seenSection = false;
    // Lines end at LF, CR LF or a lone CR.
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = text.size();
        const std::string t = Trim(text.substr(at, end - at));
        at = end + 1;
        if (t.empty() || t[0] == ';')
            continue;
        if (t[0] == '[') {
            if (seenSection && inSection)
                return false;  // the first such section ended without the key
            const size_t close = t.find(']');
            const std::string name =
                Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            inSection = SameName(name, wantSection);
            seenSection = seenSection || inSection;
            continue;
        }
        if (!inSection)
            continue;
        const size_t eq = t.find('=');
        if (eq == std::string::npos)
            continue;
        if (!SameName(Trim(t.substr(0, eq)), wantKey))
            continue;
        std::string v = Trim(t.substr(eq + 1));
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        value = v;
        return true;
    }
    return false;
}

}  // namespace

std::optional<std::string> LookupProfileText(std::string bytes, const std::string &section,
                                             const std::string &key)
{
    std::string value;
    if (!Lookup(AsUtf8(std::move(bytes)), section, key, value))
        return std::nullopt;
    return value;
}

std::string ReadProfileString(const std::string &path, const std::string &section,
                              const std::string &key, const std::string &def)
{
    std::string bytes;
    if (!ReadHead(path, bytes))
        return def;
    return LookupProfileText(std::move(bytes), section, key).value_or(def);
}

bool ProfileHasKey(const std::string &path, const std::string &section, const std::string &key)
{
    std::string bytes;
    return ReadHead(path, bytes) && LookupProfileText(std::move(bytes), section, key).has_value();
}

}  // namespace korvex
