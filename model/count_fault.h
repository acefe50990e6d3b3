// A count field that no library of this program can hold, whether it comes
// from a controller's record or from a library file: the field, the value
// found and the limit it passes.
#pragma once

namespace korvex {

enum class CountField { PictureCount, ProgramLength };

struct CountFault {
    CountField field;
    int value;  // as found
    int limit;  // 121 pictures or 512 steps
};

// "picture count" or "program length", for the command line's messages.
constexpr const char *CountFieldName(CountField field)
{
    return field == CountField::PictureCount ? "picture count" : "program length";
}

}  // namespace korvex
