// Fault switches of the simulated controller; see faults.h.
#include "sim/faults.h"

#include "sim/controller.h"

namespace korvex::sim {

namespace {

// A corrupt write spoils one data byte of a block (letter and two address
// bytes before the data) in its bit 0x10: unless told which, the first,
// the top red bit of pixel 0 in a picture, the first byte of slot 0 in a
// name table, the picture of step 0 in the program. In the record (the
// letter before it) it spoils bit 0x01 of one byte, unless told which byte
// 16, the picture count.
constexpr size_t kBlockData = 3;
constexpr uint8_t kBlockBit = 0x10;
constexpr size_t kRecordData = 1;
constexpr size_t kRecordCount = 16;
constexpr uint8_t kRecordBit = 0x01;
// A noisy read changes bit 0x08 of one byte, a spare bit of a pixel word
// the host never sets; the byte moves by an odd stride with the frame
// number, so successive noisy reads hit different bytes.
constexpr uint8_t kNoiseBit = 0x08;
constexpr size_t kNoiseStride = 131;

const struct {
    Fault fault;
    const char *name;
} kNames[] = {
    {Fault::None, "none"},     {Fault::NoReply, "no-reply"}, {Fault::ShortReply, "short"},
    {Fault::NotOk, "not-ok"},  {Fault::LateReply, "late"},   {Fault::ExtraBytes, "extra"},
    {Fault::Unplug, "unplug"}, {Fault::Corrupt, "corrupt"},  {Fault::NoisyRead, "noisy-read"}};

}  // namespace

const char *FaultName(Fault fault)
{
    for (const auto &k : kNames) {
        if (k.fault == fault)
            return k.name;
    }
    return "?";
}

bool FaultByName(const std::string &name, Fault *fault)
{
    for (const auto &k : kNames) {
        if (name == k.name) {
            *fault = k.fault;
            return true;
        }
    }
    return false;
}

void FaultSwitch::Set(Fault fault, int fromFrame, int count)
{
    fault_ = fault;
    from_ = fromFrame;
    count_ = count;
}

void FaultSwitch::SetCorruptByte(int byte)
{
    corruptByte_ = byte;
}

void FaultSwitch::SetShortLength(int bytes)
{
    shortLength_ = bytes;
}

bool FaultSwitch::AppliesTo(int frame) const
{
    if (fault_ == Fault::None || from_ < 1 || frame < from_)
        return false;
    return count_ < 0 || frame < from_ + count_;
}

bool FaultSwitch::Touches(char letter) const
{
    switch (fault_) {
    case Fault::Corrupt: return letter == 'B' || letter == 'C' || letter == 'D';
    case Fault::NoisyRead: return letter == 'A';
    default: return true;
    }
}

std::vector<uint8_t> FaultSwitch::Stored(int frame, const std::vector<uint8_t> &payload)
{
    std::vector<uint8_t> p = payload;
    if (fault_ != Fault::Corrupt || p.empty())
        return p;
    // Only a write of the length the controller takes is spoiled; any
    // other it refuses, and the fault is not applied.
    const char letter = static_cast<char>(p[0]);
    const bool block = (letter == 'B' || letter == 'C') && p.size() == kBlockData + kBlockSize;
    const bool record = letter == 'D' && p.size() == kRecordData + kRecordSize;
    if (from_ == 0 && (block || record))
        from_ = frame;
    if (!AppliesTo(frame))
        return p;
    const bool given = corruptByte_ >= 0 && static_cast<size_t>(corruptByte_) < kRecordSize;
    if (block)
        p[kBlockData + (given ? static_cast<size_t>(corruptByte_) : 0)] ^= kBlockBit;
    else if (record)
        p[kRecordData + (given ? static_cast<size_t>(corruptByte_) : kRecordCount)] ^= kRecordBit;
    return p;
}

WireReply FaultSwitch::Apply(int frame, char letter, bool understood,
                             std::vector<uint8_t> reply) const
{
    WireReply w;
    w.bytes = std::move(reply);
    if (!understood || !AppliesTo(frame) || !Touches(letter))
        return w;
    w.fault = FaultName(fault_);
    // A fault that changes the answer leaves a request answered with nothing as it is.
    std::vector<uint8_t> &b = w.bytes;
    switch (fault_) {
    case Fault::None: break;
    case Fault::NoReply: b.clear(); break;
    case Fault::ShortReply:
        if (!b.empty()) {
            const bool given = shortLength_ >= 0 && static_cast<size_t>(shortLength_) < b.size();
            b.resize(given ? static_cast<size_t>(shortLength_) : b.size() - 1);
        }
        break;
    case Fault::NotOk:
        if (!b.empty())
            b = {'N', 'O'};
        break;
    case Fault::LateReply: w.late = true; break;
    case Fault::ExtraBytes:
        if (!b.empty())
            b.insert(b.end(), {'E', 'X', 'T', 'R', 'A'});
        break;
    case Fault::Unplug:
        b.clear();
        w.unplug = true;
        break;
    case Fault::Corrupt: break;  // Stored spoiled the data; the answer is the usual one
    case Fault::NoisyRead:
        if (b.size() == kBlockSize)
            b[static_cast<size_t>(frame) * kNoiseStride % kBlockSize] ^= kNoiseBit;
        break;
    }
    return w;
}

}  // namespace korvex::sim
