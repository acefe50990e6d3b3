// List labels: "%3d: %s" for pictures and "%3d: %s - %s" for program steps,
// with a blank in the first and in the second character turned into "0".
#pragma once

#include <string>

namespace korvex {

// Turns blanks in the first two characters into '0' ("  1: x" -> "001: x").
std::string ZeroFill(std::string label);
// Picture label, UTF-8: number is 1-based, name is UTF-8.
std::string PictureLabel(int number, const std::string &name);
// Program step label made by the rebuild, UTF-8.
std::string StepLabel(int number, const std::string &name, const std::string &effect);

}  // namespace korvex
