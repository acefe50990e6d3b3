// Picture number lists: reading the operator's and writing the reports'.
#include "app/picture_numbers.h"

#include <algorithm>

namespace korvex {

namespace {

// A whole decimal number of at most four digits.
bool ReadNumber(const std::string &text, int &value)
{
    if (text.empty() || text.size() > 4)
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

}  // namespace

bool ParsePictureNumbers(const std::string &text, int count, std::vector<int> &pictures,
                         std::string &error)
{
    pictures.clear();
    if (text.empty()) {
        error = "the list of pictures is empty";
        return false;
    }
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        const size_t dash = item.find('-');
        int first = 0, last = 0;
        const bool read = dash == std::string::npos
                              ? ReadNumber(item, first) && ReadNumber(item, last)
                              : ReadNumber(item.substr(0, dash), first) &&
                                    ReadNumber(item.substr(dash + 1), last);
        if (!read) {
            error = "'" + item + "' is neither a picture number nor a range such as 5-7";
            return false;
        }
        if (first > last) {
            error = "the range " + item + " goes downwards";
            return false;
        }
        if (first < 1 || last > count) {
            error = "picture " + std::to_string(first < 1 ? first : last) +
                    " is not in the library, which holds " +
                    (count == 1 ? std::string("1 picture") : std::to_string(count) + " pictures");
            return false;
        }
        for (int n = first; n <= last; ++n)
            pictures.push_back(n - 1);
        start = comma + 1;
    }
    std::sort(pictures.begin(), pictures.end());
    pictures.erase(std::unique(pictures.begin(), pictures.end()), pictures.end());
    return true;
}

std::string PictureNumbers(const std::vector<int> &pictures)
{
    std::string text;
    for (size_t k = 0; k < pictures.size();) {
        size_t end = k;
        while (end + 1 < pictures.size() && pictures[end + 1] == pictures[end] + 1)
            ++end;
        if (!text.empty())
            text += ", ";
        text += std::to_string(pictures[k] + 1);
        if (end > k)
            text += "-" + std::to_string(pictures[end] + 1);
        k = end + 1;
    }
    return text;
}

}  // namespace korvex
