// The tooltips of the settings page's port list and status panel: which
// device each " ComN" names, and after each connection check the device and
// why it failed. The words come from app/port_survey.h and
// app/port_diagnosis.h; this file only puts them on the widgets.
#pragma once

class QComboBox;
class QWidget;

namespace korvex {

// Gives every item of `list` its device as tooltip, now and each time the
// list drops down (devices come and go), and has the link library record
// each connection so that a failed check can be told. Call before the
// first check.
void InstallPortTips(QComboBox *list);

// After a connection check of port `port`: `panel`'s tooltip names the
// device and, when not `connected`, the cause; the list's tooltips are
// brought up to date too.
void ShowPortStatusTip(QComboBox *list, QWidget *panel, int port, bool connected);

}  // namespace korvex
