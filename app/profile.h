// Reading one key of a Windows profile (".Ini") file: bracketed section
// names, key=value lines (ending at LF, CR LF or a lone CR), names compared
// without regard to letter case, blanks around names and values ignored,
// ';' starting a comment line. The file may be GBK or UTF-8 (with or
// without a byte order mark); it is taken as UTF-8 when it decodes as
// such. Only a regular file is read (a FIFO or a device at the file's
// place counts as a missing file), and only its first kProfileReadLimit
// bytes: the settings a profile holds are a few short lines, and a larger
// file must not cost start-up time or memory.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace korvex {

// Bytes read from the start of a profile file; the rest of a longer file,
// from its last line break within the limit on, is ignored.
constexpr size_t kProfileReadLimit = 64 * 1024;

// The value of `key` in `section` as UTF-8, or `def` when the file, the
// section or the key is missing. A value in matching quotes loses them.
std::string ReadProfileString(const std::string &path, const std::string &section,
                              const std::string &key, const std::string &def);

// Whether the file holds `key` in `section`.
bool ProfileHasKey(const std::string &path, const std::string &section, const std::string &key);

// The value of `key` in `section` of a profile file's bytes, as UTF-8.
std::optional<std::string> LookupProfileText(std::string bytes, const std::string &section,
                                             const std::string &key);

}  // namespace korvex
