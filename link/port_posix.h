// Knobs of the POSIX serial port that only tests turn.
#pragma once

namespace korvex::link {

// The slack added to a frame's line time to bound its write and drain
// (2000 ms unless changed). Lets a test prove the bound without waiting
// seconds; returns the previous value.
int SerialSetWriteSlackMs(int ms);

}  // namespace korvex::link
