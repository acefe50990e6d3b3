// Why a port failed, told after a failed ComInitial or exchange. The nine
// exports answer only 1 or 0, so the host side reads what the link library
// wrote about the latest connection into its trace (link/trace.h): the open
// outcome and the last exchange attempt. EnableExchangeRecord aims that
// trace at a private file; with no record to read (KORVEX_LINK_TRACE set to
// "1" by the user), what can be seen from outside still tells most causes.
// The reason this is a trace file and not a new export: the exports and
// their results stay exactly as callers on both systems rely on them, and
// the trace stays silent unless asked for.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/port_survey.h"

namespace korvex {

enum class PortCause {
    NoDevice,      // no device for this port number
    Missing,       // the device does not exist
    Permission,    // this user may not open it
    InUse,         // held by another program
    NotSerial,     // not a serial device
    Console,       // the kernel console: refused
    SetupRefused,  // the device refused the line settings
    NotSent,       // the frame could not be written in time
    NoAnswer,      // opened, but the controller did not answer
    NotOk,         // answered two bytes other than "OK"
    ShortReply,    // the reply was cut short
    Unknown,       // nothing tells more
};

struct ExchangeFailure {
    PortCause cause = PortCause::Unknown;
    PortSurvey port;
    uint8_t reply[2] = {0, 0};     // NotOk: what came instead of "OK"
    size_t got = 0, expected = 0;  // ShortReply: bytes that came, of those awaited

    // One English sentence naming the device as `where` ("port 1
    // (/dev/ttyUSB0)") and the cause, with what to do where that is known.
    std::string Text(const std::string &where) const;
    std::string Text() const;  // `where` as "port N (PATH)"
    // The cause in Chinese, for the window.
    QString TextZh() const;
};

// Aims the link library's trace at a private file that this process reads
// back (removed when the process ends), unless the user has set
// KORVEX_LINK_TRACE. Call before the first ComInitial; later calls do
// nothing.
void EnableExchangeRecord();

// Why the latest operation on port `port` failed: call after ComInitial or
// an exchange returned 0 (and after ComClose). Opens nothing. `root` as for
// link::ResolvePort (tests only).
ExchangeFailure DiagnoseExchange(int port, const std::string &root = std::string());

// The status panel's tooltip after a connection check of port `port`: its
// device, and on failure the cause, in Chinese. `listed` as
// link::ListSerialDevices() gives it.
QString PortStatusTip(int port, bool connected, const std::vector<link::SerialDevice> &listed);

}  // namespace korvex
