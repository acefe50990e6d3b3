// Conversions the GBK side of every system must give alike (iconv on
// Linux, code page 936 on Windows): the Linux tests and the Windows checks
// run the same table.
#pragma once

#include <string>

namespace korvex::gbk_cases {

struct Case {
    const char *what;
    std::string from, to;
};

// 红色 in GBK and UTF-8.
inline const std::string kRedGbk = "\xBA\xEC\xC9\xAB";
inline const std::string kRedUtf8 = "\xE7\xBA\xA2\xE8\x89\xB2";

inline const Case kToUtf8[] = {
    {"two characters", kRedGbk, kRedUtf8},
    {"the euro sign, GBK's one single byte above 0x7F", "\x80", "\xE2\x82\xAC"},
    {"a lone lead byte at the end", "a\xBA", "a\xEF\xBF\xBD"},
    {"a byte GBK never uses",
     "\xFF"
     "b",
     "\xEF\xBF\xBD"
     "b"},
    {"a lead byte before a byte that cannot trail", "\x81 z", "\xEF\xBF\xBD z"},
};

inline const Case kToGbk[] = {
    {"two characters", kRedUtf8, kRedGbk},
    {"ASCII", "abc", "abc"},
    {"the euro sign", "\xE2\x82\xAC", "\x80"},
    {"a middle dot", "\xC2\xB7", "\xA1\xA4"},
    {"an emoji has no GBK form", "x\xF0\x9F\x98\x80y", "x?y"},
    {"a superscript two with no GBK form is not given a look-alike", "\xC2\xB2", "?"},
    {"an invalid UTF-8 byte", "x\x80y", "x?y"},
};

}  // namespace korvex::gbk_cases
