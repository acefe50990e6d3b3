// A picture's name as the operator gives it, typed into a dialog, passed to
// korvex-cli or read from a show: UTF-8 text that is stored as GBK bytes.
// A name is taken when GBK holds every character of it and it fits in 15
// GBK bytes (a Chinese character counts two); an empty name is taken (the
// dialogs that make a picture ask for one themselves).
#pragma once

#include <QString>
#include <string>

namespace korvex {

enum class NameFault {
    None,
    NotGbk,   // a character GBK cannot hold
    TooLong,  // above 15 GBK bytes
};

struct NameVerdict {
    NameFault fault = NameFault::None;
    std::string gbk;  // the bytes stored for the name
};

NameVerdict JudgePictureName(const std::string &utf8);

// What is wrong with the name, as korvex-cli and the show import say it;
// empty when nothing is.
std::string NameFaultText(const NameVerdict &verdict);

// A name field's edit judged by the same rule. As in a length-limited edit
// field, the text already there is kept: a key typed into a full field is
// refused, and of a pasted text only as much as the rule takes goes in,
// whole characters from its start. A longer name set from a file can still
// be shortened.
struct LimitedEdit {
    QString text;      // what the field should hold
    int cursor = 0;    // where the cursor goes: after what was kept of the insertion
    bool cut = false;  // false: `after` is taken as it is
};

// Judges the edit that turned `before` into `after`.
LimitedEdit LimitNameEdit(const QString &before, const QString &after);

}  // namespace korvex
