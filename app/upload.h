// The two uploads to the controller, widget-free, shared by the desktop
// program and korvex-cli. Each opens the port, runs its fixed sequence of
// commands, always closes the port, and reports the outcome.
#pragma once

#include <functional>

#include "model/config_record.h"
#include "model/library.h"

namespace korvex {

struct UploadResult {
    bool ok = false;
    int count = 0;  // value to record in the host copy after success
};

// Called after every block write (the failed one included) with the number
// of blocks written so far (the bar's position).
using ProgressFn = std::function<void(int position)>;

// Sends pictures 0..n-1 (4 blocks each, Write1KData_Ex pages 0..n-1), after
// writing the record with byte 16 = n; then both name tables and a restart.
UploadResult SendPictures(const PictureTable &pictures, int n, int port,
                          const ProgressFn &progress);

// Writes the record with bytes 19..20 = m, the program block (page 127
// block 2), then a restart.
UploadResult SendProgram(const ProgramTable &program, int m, int port);

// Applies a successful upload's count to the host copy.
void RecordPictureCount(ConfigRecord &host, int n);
void RecordProgramLength(ConfigRecord &host, int m);

}  // namespace korvex
