// The exchanges of the settings page, widget-free: the connection check,
// the live change of the display flags and colour order, and storing the
// settings in the controller. Each opens the port, runs its commands and
// always closes the port again.
#pragma once

#include "model/config_record.h"

namespace korvex {

// The display settings the page's controls hold.
struct DisplaySettings {
    bool dataInverted = false;
    bool oeInverted = false;
    int colourOrder = 0;  // -1 when none is chosen (stored as 255)
    int pixelCount = kPixelCountMax;
};

// Opens `port` and reads the configuration record into `record`; false
// (record untouched) when the port does not open or no controller answers.
bool CheckConnection(int port, ConfigRecord &record);

// Puts the flags and the colour order into the host copy and applies them
// on the tube without storing them (WriteNotSave).
void ApplyLive(ConfigRecord &host, const DisplaySettings &settings, int port);

// Puts every setting (flags, colour order, pixel count) into the host copy.
void PutSettings(ConfigRecord &host, const DisplaySettings &settings);
// PutSettings, then writes the whole record and restarts the controller.
// True when all of it was acknowledged.
bool StoreSettings(ConfigRecord &host, const DisplaySettings &settings, int port);

}  // namespace korvex
