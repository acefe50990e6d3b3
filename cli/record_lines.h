// What korvex-cli prints of a controller's configuration record, the same
// for 'info' and 'backup'.
#pragma once

#include "model/config_record.h"

namespace korvex::cli {

// "firmware:        1.1 (version number 11)".
void PrintFirmwareLine(const ConfigRecord &record);
// The display settings: pixel count, colour order, data and OE inversion.
void PrintSettingsLines(const ConfigRecord &record);

}  // namespace korvex::cli
