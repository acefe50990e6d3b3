// Names are stored and sent as GBK bytes; the window shows Unicode text.
#pragma once

#include <string>

namespace korvex {

// GBK bytes to UTF-8. Bytes that do not decode become U+FFFD.
std::string GbkToUtf8(const std::string &gbk);
// UTF-8 to GBK bytes. Characters GBK cannot hold become '?'.
std::string Utf8ToGbk(const std::string &utf8);
// Length in GBK bytes of a UTF-8 text (a Chinese character counts two).
int GbkLength(const std::string &utf8);
// The longest prefix of a UTF-8 text whose GBK form fits in `maxBytes`,
// never splitting a character.
std::string TruncateToGbkBytes(const std::string &utf8, int maxBytes);

}  // namespace korvex
