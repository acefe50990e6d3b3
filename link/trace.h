// The link library's opt-in trace. The exported functions report only 1 or
// 0; the trace tells a person, or the host side, what happened on the line.
//
// KORVEX_LINK_TRACE, read at each ComInitial:
//   unset, empty or "0"  off: nothing is written anywhere;
//   "1"                  one line per port open and per exchange attempt on stderr;
//   anything else        the path of a file that each ComInitial rewrites
//                        with the lines of that connection, so it always
//                        holds the latest one.
// The host side aims it at a private file and reads the file back after a
// failure to tell why (app/port_diagnosis.cpp reads the lines written here,
// so the two formats change together).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace korvex::link {

// Where this connection's lines go, or nullptr when the trace is off.
FILE *TraceStart();
// Ends the connection's trace (closes a file; leaves stderr open).
void TraceEnd(FILE *trace);

// "korvex_api: port N open: <outcome>", the outcome as SerialOpenOutcome()
// gives it.
void TracePortOpen(FILE *trace, int32_t port, const char *outcome);

// "korvex_api: 'L' attempt K, S bytes sent|NOT sent in time[, reply G/E[ XX XX]]":
// the status bytes appear when a whole two-byte status reply arrived.
void TraceAttempt(FILE *trace, int attempt, uint8_t command, size_t frameSize, bool sent,
                  size_t expected, size_t got, const uint8_t *reply);

}  // namespace korvex::link
