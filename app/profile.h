// Reading one key of a Windows profile (".Ini") file: bracketed section
// names, key=value lines, names compared without regard to letter case,
// blanks around names and values ignored, ';' starting a comment line.
// The file may be GBK or UTF-8 (with or without a byte order mark); it is
// taken as UTF-8 when it decodes as such.
#pragma once

#include <string>

namespace korvex {

// The value of `key` in `section` as UTF-8, or `def` when the file, the
// section or the key is missing. A value in matching quotes loses them.
std::string ReadProfileString(const std::string &path, const std::string &section,
                              const std::string &key, const std::string &def);

// Whether the file holds `key` in `section`.
bool ProfileHasKey(const std::string &path, const std::string &section, const std::string &key);

}  // namespace korvex
