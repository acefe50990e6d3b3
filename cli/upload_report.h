// What korvex-cli says after an upload that did not complete: where it
// ended and why, what the controller now holds, and that sending again
// completes it.
#pragma once

#include "app/upload.h"

namespace korvex::cli {

enum class UploadKind { Pictures, Program };

// Prints the report on stderr. For a failure the kind of failure comes
// from the port diagnosis (which opens nothing).
void ReportUnfinishedUpload(UploadKind kind, const UploadResult &result, int port);

}  // namespace korvex::cli
