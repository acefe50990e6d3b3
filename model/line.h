// The serial line to the controller: every exchange opens the port at this
// rate (8 data bits, no parity, one stop bit).
#pragma once

namespace korvex {

constexpr int kBaud = 38400;

}  // namespace korvex
