// Misbehaviour on purpose: which frames the fault that is set applies to,
// and how it turns the controller's answer into what goes on the wire.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace korvex::sim {

// The name a fault goes by on the command line and in the log ("none",
// "no-reply", "short", "not-ok", "late", "extra", "unplug", "corrupt",
// "noisy-read").
const char *FaultName(Fault fault);
// The fault of that name; false for a name no fault goes by.
bool FaultByName(const std::string &name, Fault *fault);

// What goes out for one frame.
struct WireReply {
    std::vector<uint8_t> bytes;   // empty: nothing
    bool late = false;            // not before the late-reply delay
    bool unplug = false;          // close the line instead of answering
    const char *fault = nullptr;  // the fault applied, for the log; null when none
};

class FaultSwitch {
public:
    // `fault` from frame `fromFrame` on; with `count` >= 0 for that many
    // frames. A Corrupt fault with `fromFrame` 0 starts at the first write
    // the controller takes, whatever its number.
    void Set(Fault fault, int fromFrame, int count);
    // The byte a Corrupt fault spoils: the data byte of a block write and
    // the byte of a record write with that index (0..255); -1, the default,
    // spoils the block's first byte and the record's picture count.
    void SetCorruptByte(int byte);
    // Length of a short reply; -1: one byte less than the full one.
    void SetShortLength(int bytes);
    // What the controller is to carry out for frame number `frame` (1-based,
    // counting frames with a good CRC): the payload as received, but with
    // one bit of the written data flipped when a Corrupt fault applies to a
    // block or record write (the first such write fixes a Corrupt fault's
    // frame when none was given).
    std::vector<uint8_t> Stored(int frame, const std::vector<uint8_t> &payload);
    // What goes out for that frame, of command letter `letter`, when the
    // controller answered `reply`. A request the controller did not
    // understand is never faulted.
    WireReply Apply(int frame, char letter, bool understood, std::vector<uint8_t> reply) const;

private:
    bool AppliesTo(int frame) const;
    // Whether the fault that is set does anything to a request of that
    // letter: Corrupt only to writes, NoisyRead only to reads, the others to all.
    bool Touches(char letter) const;

    Fault fault_ = Fault::None;
    int from_ = 1;
    int count_ = -1;
    int shortLength_ = -1;
    int corruptByte_ = -1;
};

}  // namespace korvex::sim
