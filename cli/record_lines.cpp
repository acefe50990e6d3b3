// The record's lines, aligned in one column after their labels.
#include "cli/record_lines.h"

#include <cstdio>

namespace korvex::cli {

namespace {

const char *const kOrders[kColourOrders] = {"red green blue", "red blue green", "green red blue",
                                            "green blue red", "blue red green", "blue green red"};

char Printable(uint8_t c)
{
    return c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
}

}  // namespace

void PrintFirmwareLine(const ConfigRecord &record)
{
    std::printf("firmware:        %c.%c (version number %u)\n",
                Printable(record[cfg::kVersionMajor]), Printable(record[cfg::kVersionMinor]),
                VersionNumber(record));
}

void PrintSettingsLines(const ConfigRecord &record)
{
    std::printf("pixel count:     %u\n", GetWord(record, cfg::kPixelCount));
    const unsigned order = record[cfg::kColourOrder];
    std::printf("colour order:    %u (%s)\n", order,
                order < kColourOrders ? kOrders[order] : "not a known order");
    std::printf("data inversion:  %s\n", DataInverted(record) ? "on" : "off");
    std::printf("OE inversion:    %s\n", OeInverted(record) ? "on" : "off");
}

}  // namespace korvex::cli
