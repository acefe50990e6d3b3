// Sets of pictures written as the lists show their numbers: 1-based, runs
// of consecutive numbers joined by a dash ("3,5-7").
#pragma once

#include <string>
#include <vector>

namespace korvex {

// Reads a list such as "3,5-7" against a library of `count` pictures into
// 0-based picture indexes, ascending, each once. False, with the reason in
// `error`, for an empty list or item, anything but digits, commas and
// dashes, a run that goes downwards, or a number outside 1..count.
bool ParsePictureNumbers(const std::string &text, int count, std::vector<int> &pictures,
                         std::string &error);

// 0-based indexes (ascending) as 1-based numbers with runs joined:
// {0, 1, 2, 6} gives "1-3, 7".
std::string PictureNumbers(const std::vector<int> &pictures);

}  // namespace korvex
