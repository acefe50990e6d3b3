// The program's own icon (host/data/icons), built into the program: the
// window and the task bar show it when no korvex.Ico file is there.
#pragma once

#include <QIcon>

namespace korvex {

QIcon ProgramIcon();

}  // namespace korvex
