// List labels of the picture lists and the program list.
#include "model/labels.h"

#include <cstdio>

namespace korvex {

std::string ZeroFill(std::string label)
{
    if (label.size() > 0 && label[0] == ' ')
        label[0] = '0';
    if (label.size() > 1 && label[1] == ' ')
        label[1] = '0';
    return label;
}

namespace {

std::string Number3(int number)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%3d", number);
    return buf;
}

}  // namespace

std::string PictureLabel(int number, const std::string &name)
{
    return ZeroFill(Number3(number) + ": " + name);
}

std::string StepLabel(int number, const std::string &name, const std::string &effect)
{
    return ZeroFill(Number3(number) + ": " + name + " - " + effect);
}

}  // namespace korvex
